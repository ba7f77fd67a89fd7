// Program launch: resolve a path in the current folder, start it with a
// command line built from up to five words, wait for its end.
#pragma once

#include <cstdint>
#include <string>

namespace hostutil {

// The command line of `words` (five entries; the list ends at the first null).
std::string buildCommandLine(const char *const words[5]);

int32_t runProgram(const char *programPath, const char *const words[5]);

}  // namespace hostutil
