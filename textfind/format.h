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

// Texts are stored XORed with this key, restarting at every record.
inline constexpr std::array<unsigned char, 8> kScrambleKey = {0x3B, 0x9E, 0x07, 0xD4,
                                                              0x61, 0xA8, 0x52, 0xCF};

// The record store's one key that is not a record number (no record key
// has other than 4 bytes): the length of the longest text, 4 bytes.
inline constexpr std::string_view kLongestTextKey = "longest-text";
inline constexpr std::size_t kLongestTextSize = 4;

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
inline constexpr std::size_t kMetaMinKeyOffset = 76;  // 2 or more, at most a 64th of the page
inline constexpr uint32_t kBtreeMagic = 0x053162;
// Flags of files this project cannot read as word index or record store:
// recno layouts, subdatabases, compression.
inline constexpr uint32_t kMetaRefusedFlags = 0x02 | 0x08 | 0x10 | 0x20 | 0x80;

// What is wrong with a file's first bytes as a B-tree meta page Berkeley DB
// may be given, or with its length (a page cut short is read past its end),
// in words; nothing when they are fit.
std::optional<std::string> metaPageProblem(std::span<const unsigned char> first,
                                           uint64_t fileLength);

// ---- The proof ---------------------------------------------------------------

// What the builder records of the pair it wrote, in kProofFile: for each file
// its identifier, length and digest (digest.h) over all its bytes, and the
// longest text. The file is exactly kProofSize bytes:
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
struct Proof {
    ProvenFile index;
    ProvenFile records;
    uint32_t longestText = 0;
    bool operator==(const Proof &) const = default;
};
inline constexpr std::size_t kProofSize = 104;
inline constexpr std::string_view kProofMagic = "TFPROOF1";

std::array<unsigned char, kProofSize> encodeProof(const Proof &proof);
// Nothing for bytes that are not a whole proof: another length, another
// magic, or a digest of their own that does not match (a damaged proof).
std::optional<Proof> decodeProof(std::span<const unsigned char> bytes);

}  // namespace textfind
