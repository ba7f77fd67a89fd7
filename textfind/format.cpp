#include "format.h"

#include <algorithm>
#include <cstring>

#include "digest.h"

namespace textfind {

namespace {

void writeFile(const ProvenFile &file, unsigned char *at, unsigned char *lengthAt) {
    std::memcpy(at, file.id.data(), kFileIdSize);
    writeU64(file.length, lengthAt);
    writeU64(file.digest, lengthAt + 8);
}

ProvenFile readFile(const unsigned char *at, const unsigned char *lengthAt) {
    ProvenFile file;
    std::memcpy(file.id.data(), at, kFileIdSize);
    file.length = readU64(lengthAt);
    file.digest = readU64(lengthAt + 8);
    return file;
}

constexpr std::size_t kCheckedBytes = 96;

}  // namespace

std::array<unsigned char, kProofSize> encodeProof(const Proof &proof) {
    std::array<unsigned char, kProofSize> bytes{};
    std::memcpy(bytes.data(), kProofMagic.data(), kProofMagic.size());
    writeFile(proof.index, bytes.data() + 8, bytes.data() + 32);
    writeFile(proof.records, bytes.data() + 48, bytes.data() + 72);
    writeU32(proof.longestText, bytes.data() + 68);
    writeU64(digestOf(std::span(bytes.data(), kCheckedBytes)), bytes.data() + kCheckedBytes);
    return bytes;
}

std::optional<Proof> decodeProof(std::span<const unsigned char> bytes) {
    if (bytes.size() != kProofSize ||
        !std::equal(kProofMagic.begin(), kProofMagic.end(), bytes.begin()) ||
        digestOf(bytes.first(kCheckedBytes)) != readU64(bytes.data() + kCheckedBytes))
        return std::nullopt;
    Proof proof;
    proof.index = readFile(bytes.data() + 8, bytes.data() + 32);
    proof.records = readFile(bytes.data() + 48, bytes.data() + 72);
    proof.longestText = readU32(bytes.data() + 68);
    return proof;
}

}  // namespace textfind
