// Copy of a text file with one byte value replaced (export ReplChar).
#pragma once

#include <cstdint>

namespace hostutil {

// Copies `source` to `destination` through a TextByteReplacer, writing over
// the destination in place (platform::DestinationFile). False (and
// `destination` untouched) when the source cannot be opened, is a directory
// or is the destination itself, when the destination cannot be opened for
// writing or has no room for the copy; false also when a read or write fails
// during the copy.
bool replaceByteInTextFile(const char *source, const char *destination, uint8_t from, uint8_t to);

}  // namespace hostutil
