// File operations whose system calls differ between platforms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// A C stream closed with its owner.
struct CFileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using CFile = std::unique_ptr<std::FILE, CFileCloser>;

// fseek and ftell with 64-bit offsets on every platform.
int seekFile(std::FILE *file, long long offset, int whence);
long long tellFile(std::FILE *file);

// What names a file in the current folder: "./" or ".\".
extern const char kCurrentFolderPrefix[];

// The length of an open regular file; nothing for a pipe, a device or a
// file that cannot be examined.
std::optional<uint64_t> lengthOfOpenFile(std::FILE *file);

// A destination written in place, reached exactly as a plain open for
// writing reaches it: the caller's rights decide, links are followed (a
// loop fails), devices, pipes and FIFOs are written directly, and the file
// keeps its identity (number, owner, mode, ACLs, hard links). Unlike such an
// open it does not empty the file: the earlier content stays until the new
// content's room is reserved, and the length is set once all is written.
// A failure leaves the volume's free space as it found it, and a write past
// the process's file-size limit fails instead of raising its signal.
class DestinationFile {
public:
    // Opens `path` for writing, creating it (0666 less the umask) when it
    // does not exist.
    explicit DestinationFile(const char *path);
    // Without finish(): a file this object created (also through a link
    // that led nowhere) is removed; an existing
    // one that was written to is cut where the writing stopped, as a plain
    // open would have left it, and one that was not is as it was.
    ~DestinationFile();
    DestinationFile(const DestinationFile &) = delete;
    DestinationFile &operator=(const DestinationFile &) = delete;

    bool isOpen() const { return handle_ != kNoHandle; }
    // A file on a disk, as opposed to a device, a pipe or a FIFO.
    bool isRegularFile() const { return regular_; }
    // Nothing where the system cannot tell (a device on some systems).
    std::optional<FileIdentity> identity() const;
    // An existing regular file that is not empty: content a failure could lose.
    bool holdsContent() const { return regular_ && !created_ && earlierLength_ > 0; }

    // Makes sure `length` bytes fit before the first byte changes. False on
    // a full disk, a quota or a file-size limit, with nothing changed and
    // whatever was reserved given back. True without reserving where the
    // file system cannot reserve (the writing is then as a plain open's) and
    // for a destination that is no regular file.
    bool reserve(uint64_t length);
    // The next `size` bytes; false when they could not all be written. Past
    // what was reserved, room is reserved again before a byte is written;
    // past the file-size limit nothing is written.
    bool write(const void *data, std::size_t size);
    // Sets the length to what was written and closes; false when that fails.
    bool finish();

private:
    static constexpr std::intptr_t kNoHandle = -1;
    void undo();
    void releaseReservation(uint64_t upTo);

    std::intptr_t handle_ = kNoHandle;  // descriptor or HANDLE
    std::string path_;                  // of the file itself where it was made through a link
    bool created_ = false;
    bool regular_ = false;
    bool failed_ = false;
    uint64_t earlierLength_ = 0;
    uint64_t reserved_ = 0;
    uint64_t written_ = 0;
    uint64_t sizeLimit_ = UINT64_MAX;
    int64_t earlierModified_ = 0;
    // Holes of the earlier content that a reservation fills: given back
    // with it. Offset and length.
    std::vector<std::pair<uint64_t, uint64_t>> holes_;
};

}  // namespace hostutil::platform
