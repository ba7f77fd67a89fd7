// The store format, whole: the files of a store folder, the keys and value
// encodings of both Berkeley DB files, the layouts the builder gives them,
// and the proof that binds the two. Every reader and writer of stores (the
// library, the builder, the checker, the search command, the tests) takes
// them from here. All numbers are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace textfind {

// ---- The folder ------------------------------------------------------------

inline constexpr const char *kIndexFile = "opere.idb";      // word -> postings
inline constexpr const char *kRecordFile = "opere.ddb";     // record -> text
inline constexpr const char *kStopWordFile = "noused.txt";  // one stop word a line
inline constexpr const char *kProofFile = "opere.sum";      // the proof (below)
// Beside the stores only while a build puts its files in place: what a build
// killed then began, so that the next build (or textfind-build --restore)
// puts the earlier files back.
inline constexpr const char *kSwapJournal = "opere.swap";

// ---- Numbers ---------------------------------------------------------------

inline uint32_t readU32(const unsigned char *p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint64_t readU64(const unsigned char *p) {
    return uint64_t{readU32(p)} | uint64_t{readU32(p + 4)} << 32;
}
inline void writeU32(uint32_t value, unsigned char *p) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}
inline void writeU64(uint64_t value, unsigned char *p) {
    writeU32(static_cast<uint32_t>(value), p);
    writeU32(static_cast<uint32_t>(value >> 32), p + 4);
}

// ---- The record store ------------------------------------------------------

// A record's key: its number's 4 bytes. Its data: the text, scrambled.
inline constexpr std::size_t kRecordKeySize = 4;
using RecordKey = std::array<unsigned char, kRecordKeySize>;
inline RecordKey recordKey(int32_t record) {
    RecordKey key;
    writeU32(static_cast<uint32_t>(record), key.data());
    return key;
}
// The record a key of kRecordKeySize bytes names.
inline int32_t recordOfKey(std::string_view key) {
    return static_cast<int32_t>(readU32(reinterpret_cast<const unsigned char *>(key.data())));
}

// Texts are stored XORed with this key, restarting at every record.
inline constexpr std::array<unsigned char, 8> kScrambleKey = {0x3B, 0x9E, 0x07, 0xD4,
                                                              0x61, 0xA8, 0x52, 0xCF};

// The record store's keys that are no record number (no record key has
// other than 4 bytes): the length of the longest text, 4 bytes; and the
// code page the builder stored the texts in, by name (ASCII), where it knew
// it.
inline constexpr std::string_view kLongestTextKey = "longest-text";
inline constexpr std::size_t kLongestTextSize = 4;
inline constexpr std::string_view kCodePageKey = "code-page";

std::string encodeLongestText(uint32_t length);
// Nothing for data of another size (a damaged entry).
std::optional<uint32_t> decodeLongestText(std::string_view data);

// ---- The word index ----------------------------------------------------------

// A word's key: its normal form. Its data: postings of 8 bytes each, the
// record number (4), two category bytes, two reserved bytes (written 0);
// bytes after the last whole posting are ignored.
inline constexpr std::size_t kPostingSize = 8;
inline constexpr std::size_t kPostingCategoryOffset = 4;

// ---- What the builder writes -------------------------------------------------

struct Layout {
    uint32_t pageSize;
    bool checksums;
};
// The record store: small pages, since every delivery reads a few of them
// anew. The index: 16 KiB pages, since a common word's postings span
// megabytes read by each query (larger pages make each handle's cache
// outgrow what the allocator reuses). Neither has page checksums: the proof
// vouches for every page of both, once per process, where checksums cost
// every read.
inline constexpr Layout kRecordStoreLayout{4096, false};
inline constexpr Layout kIndexLayout{16384, false};

// ---- Berkeley DB's file identifier -------------------------------------------

// 20 bytes at this offset of a Berkeley DB file's first (meta) page, made
// when the file is created and kept by every copy of it: it tells one build's
// file from another's.
inline constexpr std::size_t kFileIdOffset = 52;
inline constexpr std::size_t kFileIdSize = 20;
using FileId = std::array<unsigned char, kFileIdSize>;

// ---- Berkeley DB's meta page ---------------------------------------------------

// The fields of a B-tree file's first page that Berkeley DB trusts before it
// reads any other: a damaged page size, minimum of keys a page or partition
// count makes it divide by zero or read out of bounds, so each is checked
// first. Offsets of Berkeley DB 5's layout, little-endian.
inline constexpr std::size_t kMetaCheckedBytes = 96;
inline constexpr std::size_t kMetaMagicOffset = 12;       // 0x053162: a B-tree
inline constexpr std::size_t kMetaVersionOffset = 16;     // 8 or 9
inline constexpr std::size_t kMetaPageSizeOffset = 20;    // a power of 2, 512 to 65536
inline constexpr std::size_t kMetaEncryptionOffset = 24;  // 0: not encrypted (1 byte)
inline constexpr std::size_t kMetaTypeOffset = 25;        // 9: a B-tree meta page (1 byte)
inline constexpr std::size_t kMetaPartitionsOffset = 36;  // 0: not partitioned
inline constexpr std::size_t kMetaFlagsOffset = 48;  // no record numbers, subdatabases, compression
inline constexpr std::size_t kMetaMinKeyOffset = 76;   // 2 or more, at most a 64th of the page
inline constexpr std::size_t kMetaRootOffset = 88;     // the tree's first page: 1 to the last
inline constexpr std::size_t kMetaOptionsOffset = 26;  // bit 0: page checksums (1 byte)
inline constexpr uint32_t kBtreeMagic = 0x053162;
// Flags of files this project cannot read as word index or record store:
// recno layouts, subdatabases, compression.
inline constexpr uint32_t kMetaRefusedFlags = 0x02 | 0x08 | 0x10 | 0x20 | 0x80;

// What is wrong with a file's first bytes as a B-tree meta page Berkeley DB
// may be given, or with its length (a page cut short is read past its end),
// in words; nothing when they are fit.
std::optional<std::string> metaPageProblem(std::span<const unsigned char> first,
                                           uint64_t fileLength);

// ---- Berkeley DB's tree pages --------------------------------------------------

// What the library vets in the pages Berkeley DB reads (page_vetting.h).
// Every page starts with a header of kPageHeaderSize bytes (and, in a file
// with page checksums, kPageChecksumSize more); a tree page then holds its
// items' offsets, 2 bytes each, and the items at the end of the page.
inline constexpr std::size_t kPageHeaderSize = 26;
inline constexpr std::size_t kPageChecksumSize = 6;
inline constexpr std::size_t kPageNumberOffset = 8;    // the page's own number
inline constexpr std::size_t kPageNextOffset = 16;     // overflow: the next page, 0 at the end
inline constexpr std::size_t kPageEntriesOffset = 20;  // 2 bytes: items (overflow: references)
inline constexpr std::size_t kPageHighFreeOffset =
    22;  // 2 bytes: the lowest item (overflow: bytes held)
inline constexpr std::size_t kPageLevelOffset = 24;  // 1 for a leaf, one more a level up
inline constexpr std::size_t kPageTypeOffset = 25;
inline constexpr unsigned char kInternalPage = 3;
inline constexpr unsigned char kLeafPage = 5;
inline constexpr unsigned char kOverflowPage = 7;
inline constexpr unsigned kMaxTreeLevel = 255;

// An item's type byte, at kItemTypeOffset of every item; the high bit marks
// a deleted item.
inline constexpr std::size_t kItemTypeOffset = 2;
inline constexpr unsigned char kItemBytes = 1;       // held on the page
inline constexpr unsigned char kItemDuplicates = 2;  // a tree of duplicates elsewhere
inline constexpr unsigned char kItemOverflow = 3;    // held on a chain of overflow pages
inline constexpr unsigned char kItemDeleted = 0x80;
// A leaf's key or data held on the page: its length (2 bytes), type, bytes.
inline constexpr std::size_t kLeafItemHeader = 3;
// An item on overflow pages: type at 2, first page at 4, total length at 8.
inline constexpr std::size_t kOverflowItemSize = 12;
inline constexpr std::size_t kOverflowFirstPageOffset = 4;
inline constexpr std::size_t kOverflowLengthOffset = 8;
// An internal page's entry: key length (2), type, unused, child page (4),
// record count (4), then the key (an overflow key: its 12-byte item).
inline constexpr std::size_t kInternalItemHeader = 12;
inline constexpr std::size_t kInternalChildOffset = 4;

inline uint16_t readU16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// ---- The proof ---------------------------------------------------------------

// What the builder records of the pair it wrote, in kProofFile: for each
// store its identifier, page size and number of pages, the longest text,
// and a digest of every page, bound to the page's number, so that a page
// can be checked alone, when it is first read:
//   0  "TFPROOF2"              36  record store identifier   64 longest text (4)
//   8  index identifier        56  record store page size    68 reserved (0, 4)
//  28  index page size         60  record store pages        72 digest of bytes 0 to 71
//  32  index pages                                           80 the page digests
// The page digests, 8 bytes each: the index's pages in order, then the
// record store's. The file is exactly pageProofLength() bytes.
struct ProvenPages {
    FileId id{};
    uint32_t pageSize = 0;
    uint32_t pages = 0;
    uint64_t length() const { return uint64_t{pageSize} * pages; }
    bool operator==(const ProvenPages &) const = default;
};
struct PageProof {
    ProvenPages index;
    ProvenPages records;
    uint32_t longestText = 0;
    bool operator==(const PageProof &) const = default;
};
inline constexpr std::string_view kPageProofMagic = "TFPROOF2";
inline constexpr std::size_t kPageProofHeaderSize = 80;
inline constexpr std::size_t kPageDigestSize = 8;

std::array<unsigned char, kPageProofHeaderSize> encodePageProofHeader(const PageProof &proof);
// Nothing for a header that is not whole or not sound (a damaged proof).
std::optional<PageProof> decodePageProofHeader(std::span<const unsigned char> bytes);
uint64_t pageProofLength(const PageProof &proof);
// Where the digest of page `page` of the index or the record store lies.
uint64_t pageDigestOffset(const PageProof &proof, bool ofRecords, uint32_t page);
// A page's digest: the page's number (4 bytes) and its bytes.
uint64_t pageDigest(uint32_t page, std::span<const unsigned char> bytes);

// The proof of the earlier builders, which the library still reads: for
// each file its identifier, length and digest over all its bytes, and the
// longest text; checked by reading both stores whole. Exactly
// kWholeFileProofSize bytes:
//   0  "TFPROOF1"         32 index length        68 longest text (4)
//   8  index identifier   40 index digest        72 record store length
//  28  reserved (0, 4)    48 record store id.    80 record store digest
//                                                88 reserved (0, 8)
//                                                96 digest of bytes 0 to 95
struct ProvenFile {
    FileId id{};
    uint64_t length = 0;
    uint64_t digest = 0;
    bool operator==(const ProvenFile &) const = default;
};
struct WholeFileProof {
    ProvenFile index;
    ProvenFile records;
    uint32_t longestText = 0;
    bool operator==(const WholeFileProof &) const = default;
};
inline constexpr std::size_t kWholeFileProofSize = 104;
inline constexpr std::string_view kWholeFileProofMagic = "TFPROOF1";

std::array<unsigned char, kWholeFileProofSize> encodeWholeFileProof(const WholeFileProof &proof);
// Nothing for bytes that are not a whole proof: another length, another
// magic, or a digest of their own that does not match (a damaged proof).
std::optional<WholeFileProof> decodeWholeFileProof(std::span<const unsigned char> bytes);

}  // namespace textfind
