// Invariant checks for the harnesses: a broken invariant is a crash, so the
// driver (or libFuzzer) keeps the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                          \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, what); \
            std::abort();                                                                    \
        }                                                                                    \
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

#include <cstdint>
#include <cstring>
#include <string>

// Runs a list-sorting export on `data` taken as a C string (NUL bytes
// dropped) and checks it against `model`: -1 and nothing written for an
// empty list; else 0, a result no longer than the list, and no byte written
// past the result's NUL.
template <typename Model>
int checkSortExport(int32_t (*sortExport)(const char *, char *), const uint8_t *data,
                    std::size_t size, Model model) {
    std::string list;
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] != 0) list.push_back(static_cast<char>(data[i]));

    GuardedBuffer out(list.size() + 1);
    const int32_t status = sortExport(list.c_str(), out.data());
    if (list.empty()) {
        FUZZ_CHECK(status == -1, "empty list gives -1");
        FUZZ_CHECK(out.untouchedFrom(0), "empty list leaves the buffer untouched");
        return 0;
    }
    FUZZ_CHECK(status == 0, "non-empty list gives 0");
    FUZZ_CHECK(out.untouchedFrom(list.size() + 1), "result never longer than the list");
    FUZZ_CHECK(std::memchr(out.data(), 0, list.size() + 1) != nullptr, "result is terminated");
    const std::string result(out.data());
    FUZZ_CHECK(out.untouchedFrom(result.size() + 1), "nothing written after the result's NUL");
    FUZZ_CHECK(result == model(list), "result matches the model");
    return 0;
}
