// Raw file printing: a file's bytes, unchanged, as one spooler job.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hostutil {

// The message texts, 127 characters at most.
inline constexpr size_t kMessageSize = 128;
// The transfer block is a byte larger than a read fills: the spooler never
// sees that byte, but the block keeps the size the host's heap has always
// been asked for (and the tests' journal holds it to).
inline constexpr size_t kTransferSize = 4097;
inline constexpr size_t kReadSize = 4096;

// The transfer buffer and the file stream come from the platform, which
// tests replace to see failures and the order of releases.
int32_t printFile(const char *printerName, const char *outputFile, const char *filePath);

}  // namespace hostutil
