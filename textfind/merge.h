// Combining ascending lists of record numbers; repetitions are kept.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace textfind {

// A number held i times in a and j times in b appears min(i, j) times.
void intersectSorted(std::span<const int32_t> a, std::span<const int32_t> b,
                     std::vector<int32_t> &out);

// A number held i times in a and j times in b appears max(i, j) times.
void uniteSorted(std::span<const int32_t> a, std::span<const int32_t> b, std::vector<int32_t> &out);

}  // namespace textfind
