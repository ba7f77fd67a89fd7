// Copy of a text file with one byte value replaced (export ReplChar).
#pragma once

#include <cstdint>

namespace hostutil {

// Copies `source` to `destination` through a TextByteReplacer. False (and
// `destination` untouched) when the source cannot be opened, is a directory
// or is the destination itself; false also when the destination cannot be
// opened or a read or write fails during the copy.
bool replaceByteInTextFile(const char *source, const char *destination, uint8_t from, uint8_t to);

}  // namespace hostutil
