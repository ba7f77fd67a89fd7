#include "merge.h"

namespace textfind {

void intersectSorted(std::span<const int32_t> a, std::span<const int32_t> b,
                     std::vector<int32_t> &out) {
    out.clear();
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i] < b[j]) {
            ++i;
        } else if (b[j] < a[i]) {
            ++j;
        } else {
            out.push_back(a[i]);
            ++i;
            ++j;
        }
    }
}

void uniteSorted(std::span<const int32_t> a, std::span<const int32_t> b,
                 std::vector<int32_t> &out) {
    out.clear();
    out.reserve(a.size() + b.size());
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i] < b[j]) {
            out.push_back(a[i++]);
        } else if (b[j] < a[i]) {
            out.push_back(b[j++]);
        } else {
            out.push_back(a[i]);
            ++i;
            ++j;
        }
    }
    out.insert(out.end(), a.begin() + static_cast<std::ptrdiff_t>(i), a.end());
    out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(j), b.end());
}

}  // namespace textfind
