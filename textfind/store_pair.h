// The pair of stores in the current folder as the library meets it: checked
// against its proof the first time this process meets that pair, and
// remembered by the stamps of its three files (the two stores and the
// proof), the last kPairsKept pairs met.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace textfind {

class BtreeFile;

// Each call's handle gets a cache sized for what the call reads (a few tree
// pages), not Berkeley DB's default, which every open would allocate anew.
inline constexpr uint32_t kIndexCacheBytes = 64 * 1024;
inline constexpr uint32_t kRecordCacheBytes = 32 * 1024;

// A host that moves between a few catalogues keeps each one's facts.
inline constexpr std::size_t kPairsKept = 8;

struct PairFacts {
    bool refused = false;  // the proof says the pair is not what the builder wrote
    // The longest text, the bound of every delivery: from the proof, or
    // read from the record store's entry the first time it is needed.
    std::optional<uint32_t> longestText;
    bool longestTextKnown = false;
};

enum class StoreFile { kIndex, kRecords };

// The facts of the pair a call that reads `reads`, open as `file`, is about
// to read.
PairFacts &currentPair(StoreFile reads, const BtreeFile &file);

// The bound of deliveries from `records` (the open record store of the
// current pair): nothing when the store holds no entry, 0 when its entry is
// damaged, so that every text is refused.
std::optional<uint32_t> deliveryLimit(PairFacts &pair, BtreeFile &records);

}  // namespace textfind
