#include "sortlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "hostutil.h"

namespace {

using namespace std::string_literals;

constexpr char kUntouched = '\x5A';

struct SortCase {
    std::string list;
    int32_t status;
    std::string result;  // unused when status is -1
};

using SortExport = int32_t (*)(const char *, char *);

// Runs the export on a sentinel-filled buffer: the result and its NUL must be
// all it writes, and -1 must write nothing.
void checkExport(SortExport sort, const SortCase &c) {
    SCOPED_TRACE("list \"" + c.list + "\"");
    std::vector<char> out(c.list.size() + 16, kUntouched);
    ASSERT_EQ(sort(c.list.c_str(), out.data()), c.status);
    std::size_t written = 0;
    if (c.status == 0) {
        EXPECT_LE(c.result.size(), c.list.size()) << "the host sizes the buffer by the list";
        written = c.result.size() + 1;
        EXPECT_EQ(std::string(out.data(), written), c.result + '\0');
    }
    EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(written), out.end(),
                            [](char b) { return b == kUntouched; }));
}

TEST(SortList, Examples) {
    const std::vector<SortCase> cases = {
        {"3:zz,1:xx,2:yy", 0, "xx,yy,zz"},
        {"10:x,9:y", 0, "y,x"},
        {"-1:neg,0:zero", 0, "neg,zero"},
        {"2:first,2:second", 0, "second"},
        {"2:first,1:mid,2:second", 0, "mid,second"},
        {"1:a:b,0:z", 0, "z,a:b"},
        {" 5:a,4 :b", 0, "b,a"},
        {"x:a,1:b", 0, "a,b"},
        {"1: spaced ,0:t", 0, "t, spaced "},
        {"4294967297:a,0:b", 0, "b,a"},
        {"1:", 0, ""},
        {"1:,2:b", 0, ",b"},
        {"", -1, ""},
        {"007:seven,7:again,6:six", 0, "six,again"},
        {"2147483648:min,2147483647:max,0:zero", 0, "min,zero,max"},
        {"1:\xE8,0:\x80", 0, "\x80,\xE8"},
        // Items without ':' keep their leading number as key and an empty text.
        {"3:c,5,1:a", 0, "a,c,"},
        {"1:a,", 0, ",a"},
        {"2:b,,1:a", 0, ",a,b"},
        {"abc", 0, ""},
        {"7 apples,1:x", 0, "x,"},
        {",", 0, ""},
    };
    for (const SortCase &c : cases) checkExport(SortList, c);
}

TEST(SortList2, Examples) {
    const std::vector<SortCase> cases = {
        {"pear,apple,fig", 0, "apple,fig,pear"},
        {"b,a,b", 0, "a,b"},
        {"a,,b", 0, ",a,b"},
        {"b,a,", 0, ",a,b"},
        {",", 0, ""},
        {"Zeta,alpha", 0, "Zeta,alpha"},
        {"10,9,100", 0, "10,100,9"},
        {"ab,a", 0, "a,ab"},
        {" b,a", 0, " b,a"},
        {"\xE8tre,zebra", 0, "zebra,\xE8tre"},
        {"\x80,\x7F,\xFF", 0, "\x7F,\x80,\xFF"},
        {"", -1, ""},
        {"only", 0, "only"},
        {"x:1,x:1", 0, "x:1"},
        {"abcdefghij,abcdefgh,abcdefgh\xE8,abcdefghi,abcdefg\xFF,abcdefgh", 0,
         "abcdefgh,abcdefghi,abcdefghij,abcdefgh\xE8,abcdefg\xFF"},
    };
    for (const SortCase &c : cases) checkExport(SortList2, c);
}

TEST(SortList, KeyRule) {
    const std::vector<std::pair<std::string, int32_t>> cases = {
        {"5", 5},
        {" 5", 5},
        {"5 ", 5},
        {"5abc", 5},
        {"007", 7},
        {"+3", 3},
        {"-3", -3},
        {"-0", 0},
        {"\t\n\v\f\r7", 7},
        {"", 0},
        {"x", 0},
        {"- 5", 0},
        {"+-5", 0},
        {"--5", 0},
        {"\xA0"
         "5",
         0},
        {"4294967297", 1},
        {"4294967296", 0},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MIN},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MAX},
        {"99999999999", 1215752191},
        {"-4294967295", 1},
        {"1 2", 1},
    };
    for (const auto &[text, key] : cases) EXPECT_EQ(hostutil::parseListKey(text), key) << text;
}

TEST(SortList, NullArgumentsAreRefused) {
    char out[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
    EXPECT_EQ(SortList(nullptr, out), -1);
    EXPECT_EQ(SortList2(nullptr, out), -1);
    EXPECT_EQ(SortList("1:a", nullptr), -1);
    EXPECT_EQ(SortList2("a", nullptr), -1);
    EXPECT_EQ(std::string(out, 4), std::string(4, kUntouched));
}

// ---- Differential tests against small independent models -----------------

std::vector<std::string> splitItems(const std::string &list) {
    std::vector<std::string> items(1);
    for (char c : list) {
        if (c == ',')
            items.emplace_back();
        else
            items.back() += c;
    }
    return items;
}

int32_t modelKey(const std::string &numberPart) {
    std::size_t i = numberPart.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string::npos) return 0;
    int64_t sign = 1;
    if (numberPart[i] == '+' || numberPart[i] == '-') sign = numberPart[i++] == '-' ? -1 : 1;
    int64_t value = 0;
    while (i < numberPart.size() && std::isdigit(static_cast<unsigned char>(numberPart[i])))
        value = (value * 10 + (numberPart[i++] - '0')) % (int64_t{1} << 32);
    value = (sign * value) & 0xFFFFFFFF;
    return static_cast<int32_t>(value >= (int64_t{1} << 31) ? value - (int64_t{1} << 32) : value);
}

std::optional<std::string> modelSortList(const std::string &list) {
    if (list.empty()) return std::nullopt;
    std::map<int32_t, std::string> byKey;
    for (const std::string &item : splitItems(list)) {
        const std::size_t colon = item.find(':');
        byKey[modelKey(item.substr(0, colon))] =
            colon == std::string::npos ? "" : item.substr(colon + 1);
    }
    std::string result;
    for (const auto &[key, text] : byKey) result += text + ",";
    result.pop_back();
    return result;
}

std::optional<std::string> modelSortList2(const std::string &list) {
    if (list.empty()) return std::nullopt;
    // Unsigned bytes compared one by one: a set of byte vectors would do, but
    // GCC 12 at -O3 warns wrongly on its memcmp (-Wstringop-overread).
    auto unsignedLess = [](const std::string &a, const std::string &b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
            });
    };
    std::set<std::string, decltype(unsignedLess)> members(unsignedLess);
    for (const std::string &item : splitItems(list)) members.insert(item);
    std::string result;
    for (const auto &member : members) result += member + ",";
    result.pop_back();
    return result;
}

std::string randomList(std::mt19937 &random) {
    const std::array<std::string, 12> numbers = {
        "1",          "-1",         "+7",           " 42", "42 ", "007",
        "2147483648", "4294967297", "-99999999999", "",    "x",   "\t-3"};
    const std::array<std::string, 13> texts = {
        "",      "a",  "b",        "A",           " b",           "a:b",          "\xE8",
        "\x80z", "zz", "\xFF\x01", "longer text", "longer texts", "longer te\xE8"};
    std::string list;
    const int items = 1 + static_cast<int>(random() % 30);
    for (int i = 0; i < items; ++i) {
        if (i != 0) list += ',';
        switch (random() % 5) {
        case 0: list += numbers[random() % numbers.size()]; break;  // no ':'
        case 1: list += texts[random() % texts.size()]; break;
        default:
            list += numbers[random() % numbers.size()] + ":" + texts[random() % texts.size()];
            break;
        }
        if (random() % 10 == 0) list += static_cast<char>(0x80 + random() % 0x7F);
    }
    return list;
}

TEST(SortList, MatchesModelOnRandomLists) {
    std::mt19937 random(2026);
    for (int round = 0; round < 2000; ++round) {
        const std::string list = randomList(random);
        const std::optional<std::string> expected = modelSortList(list);
        ASSERT_EQ(hostutil::sortNumberedList(list), expected) << list;
        if (round % 20 == 0)
            checkExport(SortList, {list, expected ? 0 : -1, expected.value_or("")});
    }
}

TEST(SortList2, MatchesModelOnRandomLists) {
    std::mt19937 random(1208);
    for (int round = 0; round < 2000; ++round) {
        const std::string list = randomList(random);
        const std::optional<std::string> expected = modelSortList2(list);
        ASSERT_EQ(hostutil::sortDistinctItems(list), expected) << list;
        if (round % 20 == 0)
            checkExport(SortList2, {list, expected ? 0 : -1, expected.value_or("")});
    }
}

}  // namespace
