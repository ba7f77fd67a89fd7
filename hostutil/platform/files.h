// File operations whose system calls differ between platforms.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

namespace hostutil::platform {

// What tells two names of one file apart from names of two files, links
// included: the volume and the file's number on it.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool isDirectory = false;
    bool sameFileAs(const FileIdentity &other) const {
        return volume == other.volume && index == other.index;
    }
};

// Nothing when the file cannot be examined (or, for a path, does not exist).
std::optional<FileIdentity> identityOfOpenFile(std::FILE *file);
std::optional<FileIdentity> identityOfPath(const char *path);

// fseek and ftell with 64-bit offsets on every platform.
int seekFile(std::FILE *file, long long offset, int whence);
long long tellFile(std::FILE *file);

// What names a file in the current folder: "./" or ".\".
extern const char kCurrentFolderPrefix[];

}  // namespace hostutil::platform
