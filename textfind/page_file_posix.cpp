#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "page_file.h"

namespace textfind {

PageFile::~PageFile() {
    if (owned_ && handle_ != kNone) close(static_cast<int>(handle_));
}

bool PageFile::open(int descriptor, const std::string &path) {
    if (descriptor >= 0) {
        handle_ = descriptor;
        return true;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    handle_ = fd;
    owned_ = true;
    return true;
}

bool PageFile::readAt(uint64_t offset, std::span<unsigned char> into) {
    if (handle_ == kNone) return false;
    // pread: Berkeley DB's own reads of the descriptor do not move with ours.
    for (std::size_t done = 0; done < into.size();) {
        const ssize_t n = pread(static_cast<int>(handle_), into.data() + done, into.size() - done,
                                static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace textfind
