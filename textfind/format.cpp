#include "format.h"

#include <algorithm>
#include <cstring>
#include <string>

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

std::optional<std::string> metaPageProblem(std::span<const unsigned char> first,
                                           uint64_t fileLength) {
    if (first.size() < kMetaCheckedBytes) return "shorter than a Berkeley DB meta page";
    const unsigned char *p = first.data();
    if (readU32(p + kMetaMagicOffset) != kBtreeMagic) return "not a Berkeley DB B-tree file";
    if (const uint32_t version = readU32(p + kMetaVersionOffset); version < 8 || version > 9)
        return "a B-tree of version " + std::to_string(version) + " (8 or 9 are read)";
    const uint32_t pageSize = readU32(p + kMetaPageSizeOffset);
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0)
        return "a damaged meta page: page size " + std::to_string(pageSize);
    if (p[kMetaEncryptionOffset] != 0) return "an encrypted file";
    if (p[kMetaTypeOffset] != 9)
        return "a damaged meta page: page type " + std::to_string(p[kMetaTypeOffset]);
    if (readU32(p + kMetaPartitionsOffset) != 0) return "a partitioned file";
    if ((readU32(p + kMetaFlagsOffset) & kMetaRefusedFlags) != 0)
        return "a file of another layout (record numbers, subdatabases or compression)";
    if (const uint32_t minKey = readU32(p + kMetaMinKeyOffset);
        minKey < 2 || minKey > pageSize / 64)
        return "a damaged meta page: minimum of keys a page " + std::to_string(minKey);
    if (fileLength % pageSize != 0)
        return "a damaged file: " + std::to_string(fileLength) + " bytes, not whole pages of " +
               std::to_string(pageSize);
    return std::nullopt;
}

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
