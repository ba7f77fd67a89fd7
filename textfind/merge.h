// Combining ascending lists of record numbers; repetitions are kept.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace textfind {

// An allocator whose resize leaves new numbers unwritten: the lists are
// sized for the most a step can produce, then written and cut to length.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U> &) noexcept {}
    template <typename U>
    void construct(U *p) noexcept {
        ::new (static_cast<void *>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U *p, Args &&...args) {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};

using RecordList = std::vector<int32_t, UninitializedAllocator<int32_t>>;

// A number held i times in a and j times in b appears min(i, j) times.
// Picks one of the two below by the lists' lengths.
void intersectSorted(std::span<const int32_t> a, std::span<const int32_t> b, RecordList &out);

// The same result, by walking both lists side by side: for lists of
// similar length.
void intersectLinear(std::span<const int32_t> a, std::span<const int32_t> b, RecordList &out);

// The same result, by searching the longer list for each number of the
// shorter with steps that double and then halve: for a short list against a
// long one.
void intersectGalloping(std::span<const int32_t> a, std::span<const int32_t> b, RecordList &out);

// A number held i times in a and j times in b appears max(i, j) times.
void uniteSorted(std::span<const int32_t> a, std::span<const int32_t> b, RecordList &out);

}  // namespace textfind
