// The state that outlives a call: the record numbers of the last successful
// query, ascending, drained from the end; and the storage queries reuse.
#pragma once

#include <cstdint>
#include <vector>

#include "evaluation.h"
#include "merge.h"

namespace textfind {

struct ResultSet {
    RecordList entries;
    // A query builds here and swaps in only once it has finished, so a query
    // that fails halfway leaves the previous entries in place. Both vectors
    // keep their storage from query to query.
    RecordList spare;
    QueryScratch scratch;
};

ResultSet &resultSet();

}  // namespace textfind
