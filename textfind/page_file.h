// A store file read at offsets beside Berkeley DB's own reading of it, for
// the pages the library vets before Berkeley DB reads them: through the very
// descriptor Berkeley DB has open where the system gives one, else opened by
// name, read-only. Never kept beyond the call that opened it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace textfind {

class PageFile {
public:
    PageFile() = default;
    ~PageFile();
    PageFile(const PageFile &) = delete;
    PageFile &operator=(const PageFile &) = delete;

    // `descriptor` is borrowed (Berkeley DB's, left open); below 0, `path`
    // is opened. False when neither can be read.
    bool open(int descriptor, const std::string &path);
    bool isOpen() const { return handle_ != kNone; }
    // Exactly `into.size()` bytes from `offset`, or false.
    bool readAt(uint64_t offset, std::span<unsigned char> into);

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;  // descriptor or HANDLE
    bool owned_ = false;
};

}  // namespace textfind
