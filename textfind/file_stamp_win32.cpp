#include <windows.h>

#include "file_stamp.h"

namespace textfind {

namespace {
int64_t ticksOf(const FILETIME &time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                time.dwLowDateTime);
}
}  // namespace

std::optional<FileStamp> stampOf(const char *path) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &info)) return std::nullopt;
    FileStamp stamp;
    stamp.length = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.modified = ticksOf(info.ftLastWriteTime);
    stamp.changed = ticksOf(info.ftCreationTime);
    stamp.regular =
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    return stamp;
}

std::optional<FileStamp> stampOfDescriptor(int) { return std::nullopt; }

}  // namespace textfind
