#include "format.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "digest.h"

namespace textfind {

std::string encodeLongestText(uint32_t length) {
    unsigned char bytes[kLongestTextSize];
    writeU32(length, bytes);
    return std::string(reinterpret_cast<const char *>(bytes), sizeof bytes);
}

std::optional<uint32_t> decodeLongestText(std::string_view data) {
    if (data.size() != kLongestTextSize) return std::nullopt;
    return readU32(reinterpret_cast<const unsigned char *>(data.data()));
}

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

// The proof of whole files, as format.h draws it.
constexpr std::size_t kWholeIndexIdAt = 8, kWholeIndexLengthAt = 32;
constexpr std::size_t kWholeRecordsIdAt = 48, kWholeRecordsLengthAt = 72;
constexpr std::size_t kWholeLongestTextAt = 68;
constexpr std::size_t kCheckedBytes = 96;  // then their digest

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
    if (const uint32_t root = readU32(p + kMetaRootOffset);
        root == 0 || root >= fileLength / pageSize)
        return "a damaged meta page: the tree's first page " + std::to_string(root) +
               " is not in the file";
    return std::nullopt;
}

std::array<unsigned char, kWholeFileProofSize> encodeWholeFileProof(const WholeFileProof &proof) {
    std::array<unsigned char, kWholeFileProofSize> bytes{};
    std::memcpy(bytes.data(), kWholeFileProofMagic.data(), kWholeFileProofMagic.size());
    writeFile(proof.index, bytes.data() + kWholeIndexIdAt, bytes.data() + kWholeIndexLengthAt);
    writeFile(proof.records, bytes.data() + kWholeRecordsIdAt,
              bytes.data() + kWholeRecordsLengthAt);
    writeU32(proof.longestText, bytes.data() + kWholeLongestTextAt);
    writeU64(digestOf(std::span(bytes.data(), kCheckedBytes)), bytes.data() + kCheckedBytes);
    return bytes;
}

std::optional<WholeFileProof> decodeWholeFileProof(std::span<const unsigned char> bytes) {
    if (bytes.size() != kWholeFileProofSize ||
        !std::equal(kWholeFileProofMagic.begin(), kWholeFileProofMagic.end(), bytes.begin()) ||
        digestOf(bytes.first(kCheckedBytes)) != readU64(bytes.data() + kCheckedBytes))
        return std::nullopt;
    WholeFileProof proof;
    proof.index = readFile(bytes.data() + kWholeIndexIdAt, bytes.data() + kWholeIndexLengthAt);
    proof.records =
        readFile(bytes.data() + kWholeRecordsIdAt, bytes.data() + kWholeRecordsLengthAt);
    proof.longestText = readU32(bytes.data() + kWholeLongestTextAt);
    return proof;
}

namespace {

// The page proof's header, as format.h draws it.
constexpr std::size_t kIndexPagesAt = 8, kRecordPagesAt = 36;
constexpr std::size_t kIdAt = 0, kPageSizeAt = 20, kPageCountAt = 24;
constexpr std::size_t kLongestTextAt = 64, kHeaderDigestAt = 72;

void writePages(const ProvenPages &pages, unsigned char *at) {
    std::memcpy(at + kIdAt, pages.id.data(), kFileIdSize);
    writeU32(pages.pageSize, at + kPageSizeAt);
    writeU32(pages.pages, at + kPageCountAt);
}

ProvenPages readPages(const unsigned char *at) {
    ProvenPages pages;
    std::memcpy(pages.id.data(), at + kIdAt, kFileIdSize);
    pages.pageSize = readU32(at + kPageSizeAt);
    pages.pages = readU32(at + kPageCountAt);
    return pages;
}

bool fitPages(const ProvenPages &pages) {
    return pages.pageSize >= 512 && pages.pageSize <= 65536 &&
           (pages.pageSize & (pages.pageSize - 1)) == 0 && pages.pages > 0;
}

}  // namespace

std::array<unsigned char, kPageProofHeaderSize> encodePageProofHeader(const PageProof &proof) {
    std::array<unsigned char, kPageProofHeaderSize> bytes{};
    std::memcpy(bytes.data(), kPageProofMagic.data(), kPageProofMagic.size());
    writePages(proof.index, bytes.data() + kIndexPagesAt);
    writePages(proof.records, bytes.data() + kRecordPagesAt);
    writeU32(proof.longestText, bytes.data() + kLongestTextAt);
    writeU64(digestOf(std::span(bytes.data(), kHeaderDigestAt)), bytes.data() + kHeaderDigestAt);
    return bytes;
}

std::optional<PageProof> decodePageProofHeader(std::span<const unsigned char> bytes) {
    if (bytes.size() < kPageProofHeaderSize ||
        !std::equal(kPageProofMagic.begin(), kPageProofMagic.end(), bytes.begin()) ||
        digestOf(bytes.first(kHeaderDigestAt)) != readU64(bytes.data() + kHeaderDigestAt))
        return std::nullopt;
    PageProof proof;
    proof.index = readPages(bytes.data() + kIndexPagesAt);
    proof.records = readPages(bytes.data() + kRecordPagesAt);
    proof.longestText = readU32(bytes.data() + kLongestTextAt);
    if (!fitPages(proof.index) || !fitPages(proof.records)) return std::nullopt;
    return proof;
}

uint64_t pageProofLength(const PageProof &proof) {
    return kPageProofHeaderSize +
           kPageDigestSize * (uint64_t{proof.index.pages} + proof.records.pages);
}

uint64_t pageDigestOffset(const PageProof &proof, bool ofRecords, uint32_t page) {
    const uint64_t before = ofRecords ? proof.index.pages : 0;
    return kPageProofHeaderSize + kPageDigestSize * (before + page);
}

uint64_t pageDigest(uint32_t page, std::span<const unsigned char> bytes) {
    unsigned char number[4];
    writeU32(page, number);
    Digest digest;
    digest.add(number);
    digest.add(bytes);
    return digest.value();
}

}  // namespace textfind
