#include <sys/stat.h>

#include "platform/files.h"

namespace hostutil::platform {

namespace {

FileIdentity identityOfStat(const struct stat &info) {
    FileIdentity identity;
    identity.volume = static_cast<uint64_t>(info.st_dev);
    identity.index = static_cast<uint64_t>(info.st_ino);
    identity.isDirectory = S_ISDIR(info.st_mode);
    return identity;
}

}  // namespace

const char kCurrentFolderPrefix[] = "./";

std::optional<FileIdentity> identityOfOpenFile(std::FILE *file) {
    struct stat info;
    if (fstat(fileno(file), &info) != 0) return std::nullopt;
    return identityOfStat(info);
}

std::optional<FileIdentity> identityOfPath(const char *path) {
    struct stat info;
    if (stat(path, &info) != 0) return std::nullopt;
    return identityOfStat(info);
}

int seekFile(std::FILE *file, long long offset, int whence) {
    return fseeko(file, static_cast<off_t>(offset), whence);
}

long long tellFile(std::FILE *file) { return static_cast<long long>(ftello(file)); }

}  // namespace hostutil::platform
