#include <sys/stat.h>

#include "file_stamp.h"

namespace textfind {

namespace {

FileStamp stampOfStat(const struct stat &info) {
    FileStamp stamp;
    stamp.volume = static_cast<uint64_t>(info.st_dev);
    stamp.index = static_cast<uint64_t>(info.st_ino);
    stamp.length = static_cast<uint64_t>(info.st_size);
    stamp.modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.changed = static_cast<int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    stamp.regular = S_ISREG(info.st_mode);
    return stamp;
}

}  // namespace

std::optional<FileStamp> stampOf(const char *path) {
    struct stat info;
    if (stat(path, &info) != 0) return std::nullopt;
    return stampOfStat(info);
}

std::optional<FileStamp> stampOfDescriptor(int descriptor) {
    struct stat info;
    if (fstat(descriptor, &info) != 0) return std::nullopt;
    return stampOfStat(info);
}

}  // namespace textfind
