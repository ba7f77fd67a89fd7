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
        items.emplace(list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
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
    return checkSortExport(SortList2, data, size, model);
}
