#include "merge.h"

#include <algorithm>

namespace textfind {

namespace {

// Lengths this many times apart or more are intersected by galloping: each
// search costs about 2 log2(gap) steps against the gap's steps of the walk.
constexpr std::size_t kGallopRatio = 16;

}  // namespace

void intersectSorted(std::span<const int32_t> a, std::span<const int32_t> b, RecordList &out) {
    const std::size_t shorter = std::min(a.size(), b.size());
    const std::size_t longer = std::max(a.size(), b.size());
    if (shorter * kGallopRatio <= longer)
        intersectGalloping(a, b, out);
    else
        intersectLinear(a, b, out);
}

void intersectGalloping(std::span<const int32_t> a, std::span<const int32_t> b, RecordList &out) {
    out.clear();
    if (a.size() > b.size()) std::swap(a, b);
    std::size_t from = 0;  // b before `from` is below every number still to come
    for (const int32_t value : a) {
        // Steps of 1, 2, 4 ... past `from` bound the first entry not below value.
        std::size_t low = from, step = 1, high = from;
        while (high < b.size() && b[high] < value) {
            low = high + 1;
            high += step;
            step *= 2;
        }
        high = std::min(high, b.size());
        const auto found = std::lower_bound(b.begin() + static_cast<std::ptrdiff_t>(low),
                                            b.begin() + static_cast<std::ptrdiff_t>(high), value);
        from = static_cast<std::size_t>(found - b.begin());
        if (from == b.size()) break;
        if (b[from] == value) {
            out.push_back(value);
            ++from;  // each entry of b pairs with one entry of a: repetitions as the walk
        }
    }
}

// The walks step without branches on the comparisons, which in long lists
// of interleaved numbers are a coin toss for the branch predictor.
void intersectLinear(std::span<const int32_t> a, std::span<const int32_t> b, RecordList &out) {
    // Every match is written below min(i, j) < the shorter length.
    out.resize(std::min(a.size(), b.size()));
    int32_t *to = out.data();
    std::size_t i = 0, j = 0, k = 0;
    while (i < a.size() && j < b.size()) {
        const int32_t x = a[i], y = b[j];
        to[k] = x;
        k += x == y;
        i += x <= y;
        j += y <= x;
    }
    out.resize(k);
}

void uniteSorted(std::span<const int32_t> a, std::span<const int32_t> b, RecordList &out) {
    out.resize(a.size() + b.size());
    int32_t *to = out.data();
    std::size_t i = 0, j = 0, k = 0;
    while (i < a.size() && j < b.size()) {
        const int32_t x = a[i], y = b[j];
        to[k++] = x <= y ? x : y;
        i += x <= y;
        j += y <= x;
    }
    k = static_cast<std::size_t>(
        std::copy(a.begin() + static_cast<std::ptrdiff_t>(i), a.end(), to + k) - to);
    k = static_cast<std::size_t>(
        std::copy(b.begin() + static_cast<std::ptrdiff_t>(j), b.end(), to + k) - to);
    out.resize(k);
}

}  // namespace textfind
