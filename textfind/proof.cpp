#include "proof.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "digest.h"
#include "file_stamp.h"

namespace textfind {

namespace {

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openToRead(const std::string &path) { return File(std::fopen(path.c_str(), "rb")); }

std::string inFolder(const std::string &folder, const char *name) {
    return folder.empty() ? std::string(name) : folder + "/" + name;
}

}  // namespace

bool isIntact(const std::string &path, const ProvenFile &written) {
    // A length that differs needs no reading.
    const std::optional<FileStamp> stamp = stampOf(path.c_str());
    if (!stamp || stamp->length != written.length) return false;
    const std::optional<ProvenFile> now = proveFile(path);
    return now && *now == written;
}

std::optional<ProvenFile> proveFile(const std::string &path) {
    File file = openToRead(path);
    if (!file) return std::nullopt;
    std::vector<unsigned char> block(1 << 20);
    ProvenFile proven;
    Digest digest;
    std::size_t got;
    while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
        // The identifier sits in the first block (pages are at least 512 bytes).
        if (proven.length == 0 && got >= kFileIdOffset + kFileIdSize)
            std::copy_n(block.data() + kFileIdOffset, kFileIdSize, proven.id.begin());
        digest.add(std::span(block.data(), got));
        proven.length += got;
    }
    if (std::ferror(file.get())) return std::nullopt;
    proven.digest = digest.value();
    return proven;
}

std::optional<FileId> fileIdOf(const std::string &path) {
    File file = openToRead(path);
    unsigned char head[kFileIdOffset + kFileIdSize];
    if (!file || std::fread(head, 1, sizeof head, file.get()) != sizeof head) return std::nullopt;
    FileId id;
    std::copy_n(head + kFileIdOffset, kFileIdSize, id.begin());
    return id;
}

bool writeProof(const std::string &path, const Proof &proof) {
    const std::array<unsigned char, kProofSize> bytes = encodeProof(proof);
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fclose(file.release()) == 0 && written;
}

ProofCheck checkProof(const std::string &folder) {
    ProofCheck check;
    File file = openToRead(inFolder(folder, kProofFile));
    if (!file) return check;
    // One byte more than a proof holds tells a longer file from a proof.
    unsigned char bytes[kProofSize + 1];
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file.get());
    file.reset();
    check.proof = decodeProof(std::span(bytes, got));
    if (!check.proof) {
        check.outcome = ProofOutcome::kNotAProof;
        return check;
    }
    const std::string indexPath = inFolder(folder, kIndexFile);
    const std::string recordsPath = inFolder(folder, kRecordFile);
    const std::optional<FileId> indexId = fileIdOf(indexPath);
    const std::optional<FileId> recordsId = fileIdOf(recordsPath);
    check.indexNamed = indexId && *indexId == check.proof->index.id;
    check.recordsNamed = recordsId && *recordsId == check.proof->records.id;
    if (!check.indexNamed && !check.recordsNamed) {
        check.outcome = ProofOutcome::kNamesNeither;
        return check;
    }
    if (check.indexNamed != check.recordsNamed) {
        check.outcome = ProofOutcome::kMixed;
        return check;
    }
    check.indexIntact = isIntact(indexPath, check.proof->index);
    check.recordsIntact = isIntact(recordsPath, check.proof->records);
    check.outcome =
        check.indexIntact && check.recordsIntact ? ProofOutcome::kMatches : ProofOutcome::kDiffers;
    return check;
}

}  // namespace textfind
