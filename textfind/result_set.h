// The state that outlives a call: the record numbers of the last successful
// query, ascending, drained from the end; and the storage queries reuse.
#pragma once

#include <cstdint>
#include <vector>

#include "category_filter.h"
#include "merge.h"

namespace textfind {

// Index items are read in pieces of this size: a multiple of a posting.
inline constexpr std::size_t kIndexPieceBytes = 64 * 1024;

struct ResultSet {
    RecordList entries;
    // A query builds here and swaps in only once it has finished, so a query
    // that fails halfway leaves the previous entries in place. Both vectors
    // keep their storage from query to query.
    RecordList spare;
    // A query's scratch: a piece of an index item, one word's postings and
    // the combination; the category decisions of the last selector.
    std::vector<char> piece = std::vector<char>(kIndexPieceBytes);
    RecordList wordList;
    RecordList working;
    CategoryDecisions decisions;
};

ResultSet &resultSet();

}  // namespace textfind
