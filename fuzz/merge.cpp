// Combining the record lists of a query's words: byte 0 splits the rest into
// two lists of small signed numbers (so that repetitions are common).
#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "check.h"
#include "merge.h"

namespace {

textfind::RecordList model(const std::vector<int32_t> &a, const std::vector<int32_t> &b,
                           bool intersect) {
    std::map<int32_t, std::pair<std::size_t, std::size_t>> counts;
    for (int32_t v : a) ++counts[v].first;
    for (int32_t v : b) ++counts[v].second;
    textfind::RecordList out;
    for (const auto &[v, c] : counts)
        out.insert(out.end(), intersect ? std::min(c.first, c.second) : std::max(c.first, c.second),
                   v);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const std::size_t split = std::min<std::size_t>(data[0], size - 1);
    std::vector<int32_t> a, b;
    for (std::size_t i = 1; i < size; ++i) {
        // Extremes now and then, so that signed order is what counts.
        const int8_t v = static_cast<int8_t>(data[i]);
        const int32_t n = v == 127 ? INT32_MAX : v == -128 ? INT32_MIN : v;
        (i <= split ? a : b).push_back(n);
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());

    textfind::RecordList out = {42, 42};  // the merge must replace what it finds
    textfind::intersectSorted(a, b, out);
    FUZZ_CHECK(out == model(a, b, true), "intersection keeps min(i, j) copies");
    textfind::intersectGalloping(a, b, out);
    FUZZ_CHECK(out == model(a, b, true), "galloping intersection keeps min(i, j) copies");
    textfind::uniteSorted(a, b, out);
    FUZZ_CHECK(out == model(a, b, false), "union keeps max(i, j) copies");
    return 0;
}
