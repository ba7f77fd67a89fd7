// Invariant checks for the harnesses: a broken invariant is a crash, so the
// driver (or libFuzzer) keeps the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                              \
    do {                                                                         \
        if (!(condition)) {                                                      \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__,      \
                         __LINE__, what);                                        \
            std::abort();                                                        \
        }                                                                        \
    } while (0)

#include <cstddef>
#include <vector>

// A buffer of the size the host would provide, followed by guard bytes; all
// of it starts out as a fill byte that the code under test has no reason to
// write, so untouched bytes can be told apart afterwards.
class GuardedBuffer {
public:
    static constexpr unsigned char kFill = 0xA5;
    static constexpr std::size_t kGuard = 64;

    explicit GuardedBuffer(std::size_t size) : size_(size), bytes_(size + kGuard, kFill) {}

    char *data() { return reinterpret_cast<char *>(bytes_.data()); }
    std::size_t size() const { return size_; }

    // True when no byte at or after `from` (up to the end of the guard) was
    // written.
    bool untouchedFrom(std::size_t from) const {
        for (std::size_t i = from; i < bytes_.size(); ++i)
            if (bytes_[i] != kFill) return false;
        return true;
    }

private:
    std::size_t size_;
    std::vector<unsigned char> bytes_;
};
