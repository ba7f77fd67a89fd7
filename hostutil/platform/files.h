// File operations whose system calls differ between platforms.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

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

// The new content of a file, written under a temporary name in the file's
// own folder and moved over it only once complete and closed: after any
// failure the file holds what it held before, or all of the new content.
// A link is followed, so the file it names is replaced. A destination that
// is no regular file (a device, a pipe) has nothing to lose and is written
// directly.
class ReplacementFile {
public:
    explicit ReplacementFile(const char *destination);
    ~ReplacementFile();  // a replacement not committed is removed
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;

    // Where to write the new content; null when it could not be created.
    std::FILE *stream() const { return stream_; }

    // Closes the stream and puts the new file in place, keeping the old
    // one's permission bits (and owner, where the system lets us). False
    // when closing or moving fails: the destination is then as it was.
    bool commit();

private:
    std::FILE *stream_ = nullptr;
    std::string temporary_;  // empty when writing directly
    std::string target_;
    bool committed_ = false;
};

}  // namespace hostutil::platform
