// The state that outlives a call: the record numbers of the last successful
// query, ascending, drained from the end; the records ResSet read ahead; and
// the storage queries reuse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "evaluation.h"
#include "merge.h"
#include "store_pair.h"

namespace textfind {

// How much ResSet reads ahead at most: records, and bytes of their texts.
// Tests set records to 0 to compare with the path that reads none.
struct ReadAheadLimits {
    std::size_t records = 1024;
    std::size_t bytes = 4u << 20;
};
extern ReadAheadLimits readAheadLimits;

// The records of the entries ResSet takes next, read through the handle of
// a call that had to open the record store, and the stamps of the pair they
// came from, as that call found it. Memory only: no handle or file is kept.
struct ReadAhead {
    struct Item {
        int32_t record;
        int32_t result;              // what ResSet answers for it: 1 delivered, -3 missing
        std::size_t offset, length;  // of its stored text in `texts`
    };
    PairStamps stamps;
    std::vector<Item> items;  // in the order ResSet takes them
    std::size_t next = 0;
    std::string texts;  // as stored (scrambled), back to back
    // How many the next opening call reads ahead: none after a query, then
    // one, doubling up to the limit, so a host that takes few hits pays
    // for few.
    std::size_t grant = 0;

    bool holds() const { return next < items.size(); }
    // Drops what was read; the growth goes on unless `restart`.
    void drop(bool restart = false) {
        items.clear();
        texts.clear();
        next = 0;
        if (restart) grant = 0;
    }
};

struct ResultSet {
    RecordList entries;
    // A query builds here and swaps in only once it has finished, so a query
    // that fails halfway leaves the previous entries in place. Both vectors
    // keep their storage from query to query.
    RecordList spare;
    QueryScratch scratch;
    ReadAhead readAhead;
};

ResultSet &resultSet();

}  // namespace textfind
