// The checker's reading of store items, Berkeley DB aside: record store
// items, then word index items, counted and judged as a model counts them.
// Input: items, each a byte (bit 0: an index item), a key length byte, the
// key, a two-byte data length and the data; record items come first.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "checks.h"
#include "format.h"

namespace {

using namespace textfind::check;

struct Item {
    bool index;
    std::string_view key, data;
};

std::vector<Item> itemsOf(const uint8_t *bytes, std::size_t size) {
    std::vector<Item> items;
    const auto take = [&](std::size_t &at, std::size_t n) {
        n = std::min(n, size - at);
        const std::string_view s(reinterpret_cast<const char *>(bytes) + at, n);
        at += n;
        return s;
    };
    for (std::size_t at = 0; at + 2 <= size;) {
        Item item;
        item.index = bytes[at] & 1;
        const std::size_t keyLength = bytes[at + 1];
        at += 2;
        item.key = take(at, keyLength);
        std::size_t dataLength = 0;
        if (at + 2 <= size) dataLength = bytes[at] | std::size_t{bytes[at + 1]} << 8;
        at = std::min(at + 2, size);
        item.data = take(at, dataLength);
        items.push_back(item);
    }
    return items;
}

std::size_t counted(const std::map<std::string, std::size_t> &counts, std::string_view words) {
    std::size_t n = 0;
    for (const auto &[what, count] : counts)
        if (what.find(words) != std::string::npos) n += count;
    return n;
}

int32_t numberOf(std::string_view fourBytes) {
    return static_cast<int32_t>(
        textfind::readU32(reinterpret_cast<const unsigned char *>(fourBytes.data())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<Item> items = itemsOf(data, size);
    Report report;
    report.records.verified = true;
    Sink sink{{report.problems, report.problemCounts}, {report.notes, report.noteCounts}};
    const textfind::StopWords stopWords = {"IL", "LA"};

    std::vector<RecordSeen> found;
    std::size_t records = 0, badKeys = 0, withNul = 0, longest = 0;
    std::set<int32_t> numbers;
    for (const Item &item : items) {
        // A B-tree holds each key once.
        if (item.index || (item.key.size() == 4 && numbers.count(numberOf(item.key)))) continue;
        checkRecordItem(item.key, item.data, report, sink, found);
        if (item.key == textfind::kLongestTextKey) continue;
        if (item.key.size() != 4) {
            ++badKeys;
            continue;
        }
        ++records;
        numbers.insert(numberOf(item.key));
        longest = std::max(longest, item.data.size());
        for (std::size_t i = 0; i < item.data.size(); ++i)
            if ((static_cast<unsigned char>(item.data[i]) ^ textfind::kScrambleKey[i % 8]) == 0) {
                ++withNul;
                break;
            }
    }
    FUZZ_CHECK(report.recordCount == records && found.size() == records, "records counted");
    FUZZ_CHECK(report.longestText == longest, "the longest text");
    FUZZ_CHECK(counted(report.problemCounts, "key not 4 bytes") == badKeys, "keys of no record");
    FUZZ_CHECK(counted(report.problemCounts, "NUL byte") == withNul, "texts holding a NUL");

    const PresentRecords present = presentRecords(found, report, sink);
    FUZZ_CHECK(std::is_sorted(present.numbers.begin(), present.numbers.end()),
               "present records ascend");
    FUZZ_CHECK(present.numbers.size() == records && present.withWords.size() == records,
               "every record present");

    textfind::check::Referenced referenced(present.numbers.size());
    std::size_t keys = 0, postings = 0, trailing = 0, lacking = 0, twice = 0;
    std::set<int32_t> named;
    for (const Item &item : items) {
        if (!item.index) continue;
        checkIndexItem(item.key, item.data, stopWords, present, report, sink, referenced);
        ++keys;
        const std::size_t count = item.data.size() / 8;
        postings += count;
        trailing += item.data.size() % 8 != 0;
        std::map<int32_t, int> times;
        for (std::size_t i = 0; i < count; ++i) {
            const int32_t record = numberOf(item.data.substr(i * 8, 4));
            lacking += numbers.count(record) == 0;
            named.insert(record);
            twice += ++times[record] == 2;
        }
    }
    FUZZ_CHECK(report.keys == keys && report.postings == postings, "keys and postings counted");
    std::size_t categorised = 0;
    for (const auto &[code, count] : report.categories) {
        FUZZ_CHECK(code.size() <= 2 && code.find('\0') == std::string::npos, "a category code");
        categorised += count;
    }
    FUZZ_CHECK(categorised == postings, "every posting has its category");
    FUZZ_CHECK(counted(report.problemCounts, "trailing bytes") == trailing, "cut postings");
    FUZZ_CHECK(counted(report.problemCounts, "record the store lacks") == lacking,
               "postings of missing records");
    FUZZ_CHECK(counted(report.problemCounts, "more than once") == twice, "records posted twice");
    for (std::size_t i = 0; i < present.numbers.size(); ++i) {
        FUZZ_CHECK(referenced.any[i] == (named.count(present.numbers[i]) != 0),
                   "a record is referenced exactly when a posting names it");
        bool ofSomeCode = false;
        for (const auto &[code, records] : referenced.byCategory) ofSomeCode |= records[i];
        FUZZ_CHECK(ofSomeCode == referenced.any[i], "and then by a posting of some category");
    }

    std::map<std::string, std::size_t> listed;
    for (const Finding &finding : report.problems) ++listed[finding.what];
    for (const auto &[what, count] : listed)
        FUZZ_CHECK(count <= kListed && count <= report.problemCounts.at(what),
                   "the first of a kind listed, all counted");
    return 0;
}
