#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <random>

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

namespace {

std::string folderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a path names after its links, as writing through it would reach.
std::string followLinks(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        char target[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length < 0) return path;
        target[length] = 0;
        path = target[0] == '/' ? std::string(target) : folderOf(path) + "/" + target;
    }
    return path;
}

}  // namespace

ReplacementFile::ReplacementFile(const char *destination) {
    target_ = followLinks(destination);
    struct stat old;
    const bool exists = stat(target_.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        stream_ = std::fopen(target_.c_str(), "wb");
        return;
    }
    const std::string folder = folderOf(target_);
    const std::string name = target_.substr(target_.rfind('/') + 1);
    std::random_device random;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary_ = folder + "/." + name + "." + std::to_string(random() % 1000000000) + ".tmp";
        // 0666 less the umask, as a newly created destination would get.
        fd = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        temporary_.clear();
        return;
    }
    if (exists) {
        fchmod(fd, old.st_mode & 07777);
        // Only a privileged process may give a file away; else it stays ours.
        [[maybe_unused]] const int given = fchown(fd, old.st_uid, old.st_gid);
    }
    stream_ = fdopen(fd, "wb");
    if (!stream_) {
        close(fd);
        unlink(temporary_.c_str());
        temporary_.clear();
    }
}

ReplacementFile::~ReplacementFile() {
    if (stream_) std::fclose(stream_);
    if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
}

bool ReplacementFile::commit() {
    if (!stream_) return false;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!closed) return false;
    if (temporary_.empty()) return committed_ = true;
    if (rename(temporary_.c_str(), target_.c_str()) != 0) return false;
    return committed_ = true;
}

}  // namespace hostutil::platform
