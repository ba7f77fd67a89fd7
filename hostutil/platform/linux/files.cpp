#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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

// A name that is a symbolic link to nothing: opening it for writing makes
// the file it names.
bool leadsNowhere(const char *path) {
    struct stat link, target;
    return lstat(path, &link) == 0 && S_ISLNK(link.st_mode) && stat(path, &target) != 0 &&
           errno == ENOENT;
}

uint64_t fileSizeLimit() {
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
    return static_cast<uint64_t>(limit.rlim_cur);
}

void punchHole(int fd, uint64_t offset, uint64_t length) {
    if (length > 0)
        fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                  static_cast<off_t>(length));
}

// The holes of a sparse file between `from` and `to`; none where the system
// cannot tell. The writing goes on from where it was.
void addHoles(int fd, uint64_t from, uint64_t to,
              std::vector<std::pair<uint64_t, uint64_t>> &holes) {
    const off_t writingAt = lseek(fd, 0, SEEK_CUR);
    for (off_t at = static_cast<off_t>(from); at < static_cast<off_t>(to);) {
        const off_t hole = lseek(fd, at, SEEK_HOLE);
        if (hole < 0 || hole >= static_cast<off_t>(to)) break;
        const off_t data = lseek(fd, hole, SEEK_DATA);
        const off_t end = data < 0 || data > static_cast<off_t>(to) ? static_cast<off_t>(to) : data;
        holes.emplace_back(static_cast<uint64_t>(hole), static_cast<uint64_t>(end - hole));
        at = end;
    }
    lseek(fd, writingAt, SEEK_SET);
}

}  // namespace

DestinationFile::DestinationFile(const char *path) : path_(path ? path : "") {
    if (!path) return;
    constexpr int kFlags = O_WRONLY | O_CLOEXEC | O_NOCTTY;
    // Made here only when no such name exists: then a failure may remove it.
    int fd = open(path, kFlags | O_CREAT | O_EXCL, 0666);
    created_ = fd >= 0;
    if (fd < 0) {
        // O_EXCL refuses every link; one that leads nowhere gets its file made.
        const bool throughLink = errno == EEXIST && leadsNowhere(path);
        // Everything else is decided exactly as by a plain open for writing.
        fd = open(path, kFlags | O_CREAT, 0666);
        if (fd >= 0 && throughLink) {
            if (char *made = realpath(path, nullptr)) {
                path_ = made;
                created_ = true;
                std::free(made);
            }
        }
    }
    if (fd < 0) return;
    struct stat info;
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        if (created_) unlink(path_.c_str());
        close(fd);
        errno = error;
        return;
    }
    handle_ = fd;
    regular_ = S_ISREG(info.st_mode);
    earlierLength_ = regular_ ? static_cast<uint64_t>(info.st_size) : 0;
    earlierModified_ =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    sizeLimit_ = fileSizeLimit();
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
    // Past the file-size limit the writing would stop halfway, or the
    // system would end the process.
    if (length > static_cast<uint64_t>(std::numeric_limits<off_t>::max()) || length > sizeLimit_) {
        errno = EFBIG;
        return false;
    }
    const int fd = descriptor(handle_);
    const std::size_t holesBefore = holes_.size();
    if (reserved_ < earlierLength_)
        addHoles(fd, reserved_, std::min(earlierLength_, length), holes_);
    int rc;
    do {
        rc = fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(reserved_),
                       static_cast<off_t>(length - reserved_));
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        reserved_ = length;
        return true;
    }
    const int error = errno;
    if (cannotReserve(error)) {
        holes_.resize(holesBefore);
        return true;
    }
    // A reservation that failed may keep what it took (ext4 does).
    if (written_ == 0) releaseReservation(length);
    errno = error;
    return false;
}

// Blocks past the end go when they are punched (XFS) or when the length is
// set (ext4, even to the length it has); holes filled for the reservation
// are punched again, so they read as the zeros they were.
void DestinationFile::releaseReservation(uint64_t upTo) {
    const int fd = descriptor(handle_);
    for (const auto &[offset, length] : holes_) punchHole(fd, offset, length);
    holes_.clear();
    if (upTo > earlierLength_) punchHole(fd, earlierLength_, upTo - earlierLength_);
    [[maybe_unused]] const int cut = ftruncate(fd, static_cast<off_t>(earlierLength_));
    // Setting the length stamps the file; it holds what it held.
    timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(earlierModified_ / 1000000000);
    times[1].tv_nsec = static_cast<long>(earlierModified_ % 1000000000);
    futimens(fd, times);
    reserved_ = 0;
}

bool DestinationFile::write(const void *data, std::size_t size) {
    if (!isOpen() || failed_) return false;
    if (regular_) {
        const uint64_t end = written_ + size;
        if (end > sizeLimit_) {
            errno = EFBIG;
            failed_ = true;
            return false;
        }
        if (reserved_ > 0 && end > reserved_ && !reserve(end)) {
            failed_ = true;
            return false;
        }
    }
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
    if (created_) {
        // Only if the name still leads to the file made here.
        struct stat mine, named;
        if (fstat(fd, &mine) == 0 && stat(path_.c_str(), &named) == 0 &&
            mine.st_dev == named.st_dev && mine.st_ino == named.st_ino)
            unlink(path_.c_str());
    } else if (regular_ && written_ > 0) {
        // An empty file is empty again; otherwise the new content stops
        // where the writing did, and what was reserved past it is freed.
        const uint64_t keep = earlierLength_ == 0 ? 0 : written_;
        if (reserved_ > keep) punchHole(fd, keep, reserved_ - keep);
        [[maybe_unused]] const int cut = ftruncate(fd, static_cast<off_t>(keep));
    } else if (regular_ && reserved_ > 0) {
        releaseReservation(reserved_);
    }
    handle_ = kNoHandle;
    close(fd);
}

}  // namespace hostutil::platform
