// The pair of stores in the current folder as the library meets it: its
// proof checked the first time this process meets that pair, its pages
// vetted as calls read them, all remembered by the stamps of its three
// files (the two stores and the proof), for the last kPairsKept pairs met.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "file_stamp.h"
#include "page_vetting.h"

namespace textfind {

class BtreeFile;

// Each call's handle gets a cache sized for what the call reads (a few tree
// pages), not Berkeley DB's default, which every open would allocate anew.
inline constexpr uint32_t kIndexCacheBytes = 64 * 1024;
inline constexpr uint32_t kRecordCacheBytes = 32 * 1024;
// A ResSet that reads many records ahead keeps the tree's upper pages.
inline constexpr uint32_t kReadAheadCacheBytes = 256 * 1024;

// A host that moves between a few catalogues keeps each one's facts.
inline constexpr std::size_t kPairsKept = 8;

// The stamps of the pair's three files, which name it: a pair met while a
// build was putting its files in place one by one is another pair than the
// finished one.
struct PairStamps {
    std::optional<FileStamp> index, records, proof;
    bool operator==(const PairStamps &) const = default;
};
PairStamps pairStampsNow();

struct PairFacts {
    PairStamps stamps;     // of the files these facts are about
    bool refused = false;  // the proof says the pair is not what the builder wrote
    // The longest text, the bound of every delivery: from the proof, or
    // read from the record store's entry the first time it is needed.
    std::optional<uint32_t> longestText;
    bool longestTextKnown = false;
    // Where the pages' digests are, for a proof of pages.
    std::optional<PageProof> pageProof;
    VettedPages index, records;
};

enum class StoreFile { kIndex, kRecords };

// The facts of the pair a call that reads `reads`, open as `file`, is about
// to read, with `file` set to vet each lookup's pages; nothing when the call
// must not read it (the proof refuses the pair, or the file is no tree whose
// pages can be vetted).
PairFacts *currentPair(StoreFile reads, BtreeFile &file);

// The bound of deliveries from `records` (the open record store of the
// current pair) in `limit`: nothing when the store holds no entry, 0 when
// its entry is damaged, so that every text is refused. False when the
// entry's pages are not sound: the call is refused.
bool deliveryLimit(PairFacts &pair, BtreeFile &records, std::optional<uint32_t> &limit);

}  // namespace textfind
