#include "proof.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "c_file.h"
#include "digest.h"
#include "file_stamp.h"

namespace textfind {

namespace {

using File = CFile;

File openToRead(const std::string &path) { return File(std::fopen(path.c_str(), "rb")); }

std::string inFolder(const std::string &folder, const char *name) {
    return folder.empty() ? std::string(name) : folder + "/" + name;
}

// Whether the file is still `written`: its length, identifier and digest.
bool isIntact(const std::string &path, const ProvenFile &written) {
    // A length that differs needs no reading.
    const std::optional<FileStamp> stamp = stampOf(path.c_str());
    if (!stamp || stamp->length != written.length) return false;
    const std::optional<ProvenFile> now = proveFile(path);
    return now && *now == written;
}

// Whether the file has the proof's length; and, read whole, the first page
// whose digest is not the proof's.
bool pagesIntact(const std::string &path, const std::string &proofPath, const PageProof &proof,
                 bool ofRecords, ProofDepth depth, std::optional<uint32_t> &firstBad) {
    const ProvenPages &pages = ofRecords ? proof.records : proof.index;
    const std::optional<FileStamp> stamp = stampOf(path.c_str());
    if (!stamp || stamp->length != pages.length()) return false;
    if (depth == ProofDepth::kIdentities) return true;
    const std::optional<ProvenStore> now = provePages(path);
    File digests = openToRead(proofPath);
    // The file may have changed since its length was taken.
    if (!now || now->pages.pageSize != pages.pageSize || now->digests.size() != pages.pages ||
        !digests)
        return false;
    std::vector<unsigned char> written(pages.pages * kPageDigestSize);
    if (std::fseek(digests.get(), static_cast<long>(pageDigestOffset(proof, ofRecords, 0)),
                   SEEK_SET) != 0 ||
        std::fread(written.data(), 1, written.size(), digests.get()) != written.size())
        return false;
    for (uint32_t page = 0; page < pages.pages; ++page) {
        if (now->digests[page] == readU64(written.data() + std::size_t{page} * kPageDigestSize))
            continue;
        firstBad = page;
        return false;
    }
    return true;
}

}  // namespace

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

std::optional<ProvenStore> provePages(const std::string &path) {
    File file = openToRead(path);
    unsigned char head[kMetaCheckedBytes];
    if (!file || std::fread(head, 1, sizeof head, file.get()) != sizeof head) return std::nullopt;
    const std::optional<FileStamp> stamp = stampOf(path.c_str());
    if (!stamp || metaPageProblem(head, stamp->length)) return std::nullopt;
    ProvenStore store;
    store.pages.pageSize = readU32(head + kMetaPageSizeOffset);
    std::copy_n(head + kFileIdOffset, kFileIdSize, store.pages.id.begin());
    std::rewind(file.get());
    std::vector<unsigned char> page(store.pages.pageSize);
    while (std::fread(page.data(), 1, page.size(), file.get()) == page.size()) {
        store.digests.push_back(pageDigest(static_cast<uint32_t>(store.digests.size()), page));
        if (store.digests.size() == UINT32_MAX) return std::nullopt;
    }
    if (std::ferror(file.get())) return std::nullopt;
    store.pages.pages = static_cast<uint32_t>(store.digests.size());
    return store;
}

std::optional<FileId> fileIdOf(const std::string &path) {
    File file = openToRead(path);
    unsigned char head[kFileIdOffset + kFileIdSize];
    if (!file || std::fread(head, 1, sizeof head, file.get()) != sizeof head) return std::nullopt;
    FileId id;
    std::copy_n(head + kFileIdOffset, kFileIdSize, id.begin());
    return id;
}

bool writeProof(const std::string &path, const ProvenStore &index, const ProvenStore &records,
                uint32_t longestText) {
    const PageProof proof{index.pages, records.pages, longestText};
    const auto header = encodePageProofHeader(proof);
    std::vector<unsigned char> bytes(header.begin(), header.end());
    bytes.resize(pageProofLength(proof));
    unsigned char *at = bytes.data() + kPageProofHeaderSize;
    for (const ProvenStore *store : {&index, &records})
        for (const uint64_t digest : store->digests) {
            writeU64(digest, at);
            at += kPageDigestSize;
        }
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fclose(file.release()) == 0 && written;
}

std::optional<uint32_t> ProofCheck::longestText() const {
    if (outcome != ProofOutcome::kMatches && outcome != ProofOutcome::kNamesBoth)
        return std::nullopt;
    return pages ? pages->longestText : wholeFiles->longestText;
}

ProofCheck checkProof(const std::string &folder, ProofDepth depth) {
    ProofCheck check;
    const std::string proofPath = inFolder(folder, kProofFile);
    File file = openToRead(proofPath);
    if (!file) return check;
    // One byte more than a proof of whole files holds tells a longer file.
    unsigned char bytes[std::max(kWholeFileProofSize, kPageProofHeaderSize) + 1];
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file.get());
    file.reset();
    check.wholeFiles = decodeWholeFileProof(std::span(bytes, got));
    check.pages = decodePageProofHeader(std::span(bytes, got));
    const std::optional<FileStamp> proofStamp = stampOf(proofPath.c_str());
    if (check.pages && (!proofStamp || proofStamp->length != pageProofLength(*check.pages)))
        check.pages.reset();
    if (!check.wholeFiles && !check.pages) {
        check.outcome = ProofOutcome::kNotAProof;
        return check;
    }
    check.form = check.pages ? ProofForm::kPages : ProofForm::kWholeFiles;
    const FileId &indexNamed = check.pages ? check.pages->index.id : check.wholeFiles->index.id;
    const FileId &recordsNamed =
        check.pages ? check.pages->records.id : check.wholeFiles->records.id;
    const std::string indexPath = inFolder(folder, kIndexFile);
    const std::string recordsPath = inFolder(folder, kRecordFile);
    const std::optional<FileId> indexId = fileIdOf(indexPath);
    const std::optional<FileId> recordsId = fileIdOf(recordsPath);
    check.indexNamed = indexId && *indexId == indexNamed;
    check.recordsNamed = recordsId && *recordsId == recordsNamed;
    if (!check.indexNamed && !check.recordsNamed) {
        check.outcome = ProofOutcome::kNamesNeither;
        return check;
    }
    if (check.indexNamed != check.recordsNamed) {
        check.outcome = ProofOutcome::kMixed;
        return check;
    }
    if (check.pages) {
        check.indexIntact =
            pagesIntact(indexPath, proofPath, *check.pages, false, depth, check.firstBadIndexPage);
        check.recordsIntact = pagesIntact(recordsPath, proofPath, *check.pages, true, depth,
                                          check.firstBadRecordsPage);
    } else {
        check.indexIntact = isIntact(indexPath, check.wholeFiles->index);
        check.recordsIntact = isIntact(recordsPath, check.wholeFiles->records);
    }
    if (!check.indexIntact || !check.recordsIntact)
        check.outcome = ProofOutcome::kDiffers;
    else if (check.pages && depth == ProofDepth::kIdentities)
        check.outcome = ProofOutcome::kNamesBoth;
    else
        check.outcome = ProofOutcome::kMatches;
    return check;
}

}  // namespace textfind
