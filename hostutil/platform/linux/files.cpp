#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

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

std::optional<uint64_t> lengthOfOpenFile(std::FILE *file) {
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
}

namespace {

int descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

// Errors that say the file system keeps no reservations, not that the room
// is lacking.
bool cannotReserve(int error) {
    return error == EOPNOTSUPP || error == ENOSYS || error == EINVAL || error == ENODEV;
}

}  // namespace

DestinationFile::DestinationFile(const char *path) : path_(path ? path : "") {
    if (!path) return;
    constexpr int kFlags = O_WRONLY | O_CLOEXEC | O_NOCTTY;
    // Made here only when no such name exists: then a failure may remove it.
    int fd = open(path, kFlags | O_CREAT | O_EXCL, 0666);
    created_ = fd >= 0;
    // Everything else is decided exactly as by a plain open for writing.
    if (fd < 0) fd = open(path, kFlags | O_CREAT, 0666);
    if (fd < 0) return;
    struct stat info;
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        if (created_) unlink(path);
        close(fd);
        errno = error;
        return;
    }
    handle_ = fd;
    regular_ = S_ISREG(info.st_mode);
    earlierLength_ = regular_ ? static_cast<uint64_t>(info.st_size) : 0;
}

DestinationFile::~DestinationFile() { undo(); }

std::optional<FileIdentity> DestinationFile::identity() const {
    struct stat info;
    if (!isOpen() || fstat(descriptor(handle_), &info) != 0) return std::nullopt;
    return identityOfStat(info);
}

bool DestinationFile::reserve(uint64_t length) {
    if (!isOpen() || failed_) return false;
    if (!regular_ || length <= reserved_) return true;
    // A file-size limit would stop the writing halfway through the file.
    rlimit limit;
    if (length > static_cast<uint64_t>(std::numeric_limits<off_t>::max()) ||
        (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
         length > limit.rlim_cur)) {
        errno = EFBIG;
        return false;
    }
    const int fd = descriptor(handle_);
    int rc;
    do {
        rc = fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length));
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        reserved_ = length;
        return true;
    }
    const int error = errno;
    if (cannotReserve(error)) return true;
    // What a partial reservation took beyond the end is given back.
    if (length > earlierLength_)
        fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                  static_cast<off_t>(earlierLength_), static_cast<off_t>(length - earlierLength_));
    errno = error;
    return false;
}

bool DestinationFile::write(const void *data, std::size_t size) {
    if (!isOpen() || failed_) return false;
    const auto *bytes = static_cast<const unsigned char *>(data);
    while (size > 0) {
        const ssize_t n = ::write(descriptor(handle_), bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
    return true;
}

bool DestinationFile::finish() {
    if (!isOpen() || failed_) return false;
    const int fd = descriptor(handle_);
    if (regular_ && ftruncate(fd, static_cast<off_t>(written_)) != 0) {
        failed_ = true;
        return false;
    }
    handle_ = kNoHandle;
    if (close(fd) == 0) return true;
    // The system may report a failed write-back only now.
    if (created_) unlink(path_.c_str());
    return false;
}

void DestinationFile::undo() {
    if (!isOpen()) return;
    const int fd = descriptor(handle_);
    handle_ = kNoHandle;
    if (created_) {
        // Only if the name still leads to the file made here.
        struct stat mine, named;
        if (fstat(fd, &mine) == 0 && stat(path_.c_str(), &named) == 0 &&
            mine.st_dev == named.st_dev && mine.st_ino == named.st_ino)
            unlink(path_.c_str());
    } else if (regular_ && written_ > 0) {
        // An empty file is empty again; otherwise the new content stops
        // where the writing did.
        [[maybe_unused]] const int cut =
            ftruncate(fd, static_cast<off_t>(earlierLength_ == 0 ? 0 : written_));
    } else if (regular_ && reserved_ > earlierLength_) {
        fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                  static_cast<off_t>(earlierLength_),
                  static_cast<off_t>(reserved_ - earlierLength_));
    }
    close(fd);
}

}  // namespace hostutil::platform
