// A host's buffer of a given size that ends at a page no one may touch: a
// write past its end faults at once.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace test {

class GuardedBuffer {
public:
    explicit GuardedBuffer(std::size_t size) : size_(size) {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t usable = (size + page - 1) / page * page;
        total_ = usable + page;
        base_ = static_cast<char *>(
            mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(base_ + usable, page, PROT_NONE);
        data_ = base_ + usable - size;
        mark();
    }
    ~GuardedBuffer() { munmap(base_, total_); }
    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;

    char *data() { return data_; }
    void mark() { std::memset(data_, 0xA5, size_); }
    bool untouchedFrom(std::size_t at) const {
        for (std::size_t i = at; i < size_; ++i)
            if (static_cast<unsigned char>(data_[i]) != 0xA5) return false;
        return true;
    }
    // A delivered text: terminated inside the buffer, nothing after its NUL.
    bool holdsOneText() const {
        const void *end = std::memchr(data_, 0, size_);
        if (!end) return false;
        return untouchedFrom(static_cast<std::size_t>(static_cast<const char *>(end) - data_) + 1);
    }

private:
    std::size_t size_, total_;
    char *base_, *data_;
};

}  // namespace test
