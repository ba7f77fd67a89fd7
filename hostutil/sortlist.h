// Sorting of comma-separated lists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hostutil {

// The key of a "number:text" item: leading blanks (space, 0x09 to 0x0D)
// skipped, an optional sign, decimal digits accumulated modulo 2^32; 0
// without digits. Whatever follows the digits is ignored.
int32_t parseListKey(std::string_view numberPart);

// Texts of the "number:text" items ordered by number; of items with the same
// number the later one's text is kept. An item without ':' gets its key from
// its leading number and an empty text. std::nullopt for an empty list.
std::optional<std::string> sortNumberedList(std::string_view list);

// The distinct items ordered byte-wise (bytes unsigned, a prefix first).
// std::nullopt for an empty list.
std::optional<std::string> sortDistinctItems(std::string_view list);

}  // namespace hostutil
