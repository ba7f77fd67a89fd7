// ScanDB: a query evaluated against the word index ("opere.idb") into the
// result set (the evaluation itself is evaluation.h's).
#pragma once

#include <cstdint>
#include <string_view>

namespace textfind {

// mode 1 intersects the words' record lists, any other value unites them.
// Returns the new size of the result set or a TextfindScanResult; on those,
// and on any exception (memory exhaustion), the result set is unchanged.
int32_t scanDb(std::string_view query, int32_t mode, std::string_view selector);

}  // namespace textfind
