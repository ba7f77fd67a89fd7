#include "sortlist.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "export_guard.h"
#include "hostutil.h"

namespace hostutil {

namespace {

bool isBlank(unsigned char byte) { return byte == ' ' || (byte >= 0x09 && byte <= 0x0D); }

// Calls `visit` with each item: the stretches between ',' (n commas, n+1
// items, empty ones included).
template <typename Visit>
void forEachItem(std::string_view list, Visit visit) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        if (comma == std::string_view::npos) {
            visit(list.substr(start));
            return;
        }
        visit(list.substr(start, comma - start));
        start = comma + 1;
    }
}

bool bytewiseLess(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    const int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
    return order != 0 ? order < 0 : a.size() < b.size();
}

// An item with its first 8 bytes packed big-endian and zero-padded: unequal
// prefixes already order the items byte-wise (a zero pad sorts like the end
// of a shorter item), so most comparisons need no look at the bytes.
struct PrefixedItem {
    uint64_t prefix;
    std::string_view item;
};

PrefixedItem withPrefix(std::string_view item) {
    uint64_t prefix = 0;
    const std::size_t packed = std::min<std::size_t>(item.size(), 8);
    for (std::size_t i = 0; i < packed; ++i)
        prefix |= static_cast<uint64_t>(static_cast<unsigned char>(item[i])) << (56 - 8 * i);
    return {prefix, item};
}

bool prefixedLess(const PrefixedItem &a, const PrefixedItem &b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return bytewiseLess(a.item, b.item);
}

std::size_t countItems(std::string_view list) {
    return static_cast<std::size_t>(std::count(list.begin(), list.end(), ',')) + 1;
}

std::string joinWithCommas(const std::vector<std::string_view> &entries) {
    std::size_t length = entries.empty() ? 0 : entries.size() - 1;
    for (std::string_view entry : entries) length += entry.size();
    std::string result;
    result.reserve(length);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i != 0) result += ',';
        result += entries[i];
    }
    return result;
}

// The result and its NUL, nothing more: the host sized the buffer for that.
int32_t writeResult(const std::optional<std::string> &result, char *out) {
    if (!result) return HOSTUTIL_SORT_EMPTY;
    std::memcpy(out, result->c_str(), result->size() + 1);
    return HOSTUTIL_SORT_DONE;
}
}  // namespace

int32_t parseListKey(std::string_view numberPart) {
    std::size_t i = 0;
    while (i < numberPart.size() && isBlank(static_cast<unsigned char>(numberPart[i]))) ++i;
    bool negative = false;
    if (i < numberPart.size() && (numberPart[i] == '+' || numberPart[i] == '-')) {
        negative = numberPart[i] == '-';
        ++i;
    }
    // Unsigned arithmetic wraps modulo 2^32 by definition.
    uint32_t value = 0;
    for (; i < numberPart.size() && numberPart[i] >= '0' && numberPart[i] <= '9'; ++i)
        value = value * 10u + static_cast<uint32_t>(numberPart[i] - '0');
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

std::optional<std::string> sortNumberedList(std::string_view list) {
    if (list.empty()) return std::nullopt;
    struct Entry {
        int32_t key;
        std::string_view text;
    };
    std::vector<Entry> entries;
    entries.reserve(countItems(list));
    forEachItem(list, [&](std::string_view item) {
        const std::size_t colon = item.find(':');
        if (colon == std::string_view::npos) {
            entries.push_back({parseListKey(item), std::string_view()});
        } else {
            entries.push_back({parseListKey(item.substr(0, colon)), item.substr(colon + 1)});
        }
    });
    // Stable: among equal keys the input order stays, so the last is the latest.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.key < b.key; });
    std::vector<std::string_view> texts;
    texts.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 < entries.size() && entries[i + 1].key == entries[i].key) continue;
        texts.push_back(entries[i].text);
    }
    return joinWithCommas(texts);
}

std::optional<std::string> sortDistinctItems(std::string_view list) {
    if (list.empty()) return std::nullopt;
    std::vector<PrefixedItem> items;
    items.reserve(countItems(list));
    forEachItem(list, [&](std::string_view item) { items.push_back(withPrefix(item)); });
    std::sort(items.begin(), items.end(), prefixedLess);
    std::vector<std::string_view> distinct;
    distinct.reserve(items.size());
    for (const PrefixedItem &entry : items) {
        if (distinct.empty() || distinct.back() != entry.item) distinct.push_back(entry.item);
    }
    return joinWithCommas(distinct);
}

}  // namespace hostutil

extern "C" {

HOSTUTIL_API int32_t HOSTUTIL_CALL SortList(const char *list, char *out) {
    if (list == nullptr || out == nullptr) return HOSTUTIL_SORT_EMPTY;
    return hostutil::guardExport(hostutil::fallback::kSortList, [&] {
        return hostutil::writeResult(hostutil::sortNumberedList(list), out);
    });
}

HOSTUTIL_API int32_t HOSTUTIL_CALL SortList2(const char *list, char *out) {
    if (list == nullptr || out == nullptr) return HOSTUTIL_SORT_EMPTY;
    return hostutil::guardExport(hostutil::fallback::kSortList2, [&] {
        return hostutil::writeResult(hostutil::sortDistinctItems(list), out);
    });
}

}  // extern "C"
