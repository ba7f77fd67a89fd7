// SortList: "number:text" items, ordered by number, later text wins.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "check.h"
#include "hostutil.h"

namespace {

// Leading blanks, a sign, digits wrapping modulo 2^32; 0 without digits.
int32_t modelKey(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= 0x09 && s[i] <= 0x0D))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    uint64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        value = (value * 10 + static_cast<uint64_t>(s[i] - '0')) & 0xFFFFFFFFu;
    if (negative) value = (0x100000000u - value) & 0xFFFFFFFFu;
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// An item without ':' keeps its leading number as key and an empty text:
// the library's documented choice for such items.
std::string model(std::string_view list) {
    std::map<int32_t, std::string> byKey;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        const std::string_view item = list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        const std::size_t colon = item.find(':');
        if (colon == std::string_view::npos)
            byKey[modelKey(item)] = "";
        else
            byKey[modelKey(item.substr(0, colon))] = std::string(item.substr(colon + 1));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    std::string joined;
    for (const auto &[key, text] : byKey) joined += text + ",";
    joined.pop_back();
    return joined;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // With an empty text for every item lacking ':', the result can never
    // outgrow the list.
    return checkSortExport(SortList, data, size, model);
}
