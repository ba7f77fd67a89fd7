// What tells whether a file is still the one met before, without reading
// it: on POSIX systems its device, inode, length and modification and change
// times; on Windows its length and creation and write times.
#pragma once

#include <cstdint>
#include <optional>

namespace textfind {

struct FileStamp {
    uint64_t volume = 0;
    uint64_t index = 0;
    uint64_t length = 0;
    int64_t modified = 0;
    int64_t changed = 0;
    bool regular = false;  // a file, not a folder or a device
    bool operator==(const FileStamp &) const = default;
};

// Nothing when `path` names nothing (or cannot be examined).
std::optional<FileStamp> stampOf(const char *path);
// The same for an open file's descriptor; nothing where the system stamps
// files by name only.
std::optional<FileStamp> stampOfDescriptor(int descriptor);

}  // namespace textfind
