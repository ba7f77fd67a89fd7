// Lookup of one variable in an xBase memory-variable (.MEM) file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "hostutil.h"

namespace hostutil {

// Only this many bytes from the start of the file are searched.
inline constexpr std::size_t kMemoryVariableWindowSize = 10000;

struct MemoryVariableLookup {
    int32_t status = HOSTUTIL_VARIABLE_NOT_FOUND;
    // Exactly the bytes to store in the host's buffer, terminating NUL
    // included; empty when the buffer stays as it was.
    std::string_view output;
};

// Searches the bytes read from the file (the window) for `name` and its NUL.
// `output` points into `window` or into static storage, never to the heap.
MemoryVariableLookup lookUpMemoryVariable(std::span<const unsigned char> window,
                                          std::string_view name);

// Reads the window from `path` and looks `name` up in it; writes the value
// to `out` when one is to be written.
int32_t lookUpMemoryVariableInFile(const char *path, std::string_view name, char *out);

}  // namespace hostutil
