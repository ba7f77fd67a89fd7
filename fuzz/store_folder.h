// What the store harnesses share: a folder of their own as the current
// directory (the library reads the stores there), files written afresh with
// a modification time of their own, so that the library meets each input's
// files as new ones, and the host's side of the exports.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "check.h"
#include "textfind.h"

namespace fuzzing {

inline void enterScratchFolder() {
    char pattern[] = "/tmp/textfind-fuzz.XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern) != nullptr && chdir(pattern) == 0, "a scratch folder");
}

inline void writeFresh(const char *name, std::string_view bytes) {
    static int64_t tick = 0;
    unlink(name);
    const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL, 0644);
    FUZZ_CHECK(fd >= 0, "a file in the scratch folder");
    FUZZ_CHECK(write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()),
               "written whole");
    ++tick;
    const timespec times[2] = {{tick, 0}, {tick, 0}};
    FUZZ_CHECK(futimens(fd, times) == 0, "a time of its own");
    close(fd);
}

inline std::string readWhole(const char *name) {
    std::string bytes;
    const int fd = open(name, O_RDONLY);
    FUZZ_CHECK(fd >= 0, "a file to read");
    char block[4096];
    for (ssize_t n; (n = read(fd, block, sizeof block)) > 0;) bytes.append(block, n);
    close(fd);
    return bytes;
}

// A host's text buffer of exactly `size` bytes, so that the sanitizer sees
// a write past it; `written` is how far the last delivery reached.
class HostBuffer {
public:
    explicit HostBuffer(std::size_t size) : size_(size), bytes_(new char[size]) {
        std::memset(bytes_.get(), 0x5A, size);
    }
    char *data() { return bytes_.get(); }
    // The delivered text: it must end within the buffer.
    std::string_view text() const {
        const void *nul = std::memchr(bytes_.get(), 0, size_);
        FUZZ_CHECK(nul != nullptr, "a delivered text ends in the buffer");
        return std::string_view(bytes_.get(), static_cast<const char *>(nul) - bytes_.get());
    }

private:
    std::size_t size_;
    std::unique_ptr<char[]> bytes_;
};

}  // namespace fuzzing
