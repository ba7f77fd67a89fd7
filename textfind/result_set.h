// The one piece of state that outlives a call: the record numbers of the
// last successful query, ascending, drained from the end.
#pragma once

#include <cstdint>
#include <vector>

namespace textfind {

struct ResultSet {
    std::vector<int32_t> entries;
    // A query builds here and swaps in only once it has finished, so a query
    // that fails halfway leaves the previous entries in place. Both vectors
    // keep their storage from query to query.
    std::vector<int32_t> spare;
};

ResultSet &resultSet();

}  // namespace textfind
