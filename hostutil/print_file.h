// Raw file printing: a file's bytes, unchanged, as one spooler job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace hostutil {

// Where the transfer buffer and the file stream come from; tests replace
// them to see failures and the order of releases.
struct PrintResources {
    void *(*allocate)(size_t size);
    void (*release)(void *block);
    FILE *(*open)(const char *path, const char *mode);
    int (*close)(FILE *file);
};

// The C runtime's heap and streams.
const PrintResources &standardResources();

// The message texts, 127 characters at most.
inline constexpr size_t kMessageSize = 128;
inline constexpr size_t kTransferSize = 4097;
inline constexpr size_t kReadSize = 4096;

int32_t printFile(const char *printerName, const char *outputFile, const char *filePath,
                  const PrintResources &resources = standardResources());

}  // namespace hostutil
