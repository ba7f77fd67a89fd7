// SortList2: distinct items in byte-wise order.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "check.h"
#include "hostutil.h"

namespace {

// std::char_traits<char> compares as unsigned char, which is the byte-wise
// order wanted (a prefix first).
std::string model(std::string_view list) {
    std::set<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        items.emplace(list.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                         : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    std::string joined;
    for (const std::string &item : items) joined += item + ",";
    joined.pop_back();
    return joined;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string list;
    for (size_t i = 0; i < size; ++i)
        if (data[i] != 0) list.push_back(static_cast<char>(data[i]));

    GuardedBuffer out(list.size() + 1);
    const int32_t status = SortList2(list.c_str(), out.data());
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
