#include "vedivar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "hostutil.h"
#include "temp_dir.h"

namespace {

using test::TempDir;
using test::writeFile;
using namespace std::string_literals;

constexpr char kUntouched = '\x5A';
constexpr unsigned char kCharacter = 0xC3, kLogical = 0xCC, kNumeric = 0xCE, kDate = 0xC4;

// One .MEM entry: 11-byte name field, type byte, 20 bytes of header, value.
std::string memEntry(std::string_view name, unsigned char type, std::string_view value) {
    std::string entry(32, '\0');
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 10), entry.begin());
    entry[11] = static_cast<char>(type);
    entry[16] = static_cast<char>(value.size() & 0xFF);
    entry[17] = static_cast<char>(value.size() >> 8);
    return entry + std::string(value);
}
std::string characterVar(std::string_view name, std::string_view text) {
    return memEntry(name, kCharacter, std::string(text) + '\0');
}
std::string logicalVar(std::string_view name, unsigned char value) {
    return memEntry(name, kLogical, std::string(1, static_cast<char>(value)));
}
std::string numericVar(std::string_view name) {
    return memEntry(name, kNumeric, "\0\0\0\0\0\0\xF0\x3F"s);
}
std::string dateVar(std::string_view name) {
    return memEntry(name, kDate, "\0\0\0\0\x80\x1E\x42\x41"s);
}

struct OutputBuffer {
    std::array<char, 12000> bytes;
    OutputBuffer() { bytes.fill(kUntouched); }
    // What the lookup wrote: the bytes before the first untouched one.
    std::optional<std::string> written() const {
        auto end = std::find(bytes.begin(), bytes.end(), kUntouched);
        if (end == bytes.begin()) return std::nullopt;
        return std::string(bytes.begin(), end);
    }
    bool restUntouched(std::size_t from) const {
        return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                           [](char c) { return c == kUntouched; });
    }
};

struct LookupCase {
    const char *what;
    std::optional<std::string> file;  // nullopt: the file does not exist
    std::string name;
    int32_t status;
    std::optional<std::string> written;  // nullopt: the buffer stays as it was
};

std::vector<LookupCase> lookupCases() {
    std::string innerSuffix = characterVar("XNAME", "abc");
    innerSuffix[12] = static_cast<char>(kCharacter);  // the inner match's type byte
    std::string emptyName = characterVar("AB", "hello");
    emptyName[13] = static_cast<char>(kLogical);
    const std::string pad = characterVar("PAD", std::string(9990, 'p'));
    // NAME's value fills the window up to its last byte (its NUL).
    const std::string nearLimit = characterVar("PAD", std::string(9900, 'p'));
    const std::size_t fillingLength = 10000 - nearLimit.size() - 33;
    const std::string endingAtLimit =
        nearLimit + characterVar("NAME", std::string(fillingLength, 'v'));
    const std::string straddling =
        nearLimit + characterVar("NAME", std::string(fillingLength + 1, 'v'));

    return {
        {"missing file", std::nullopt, "NAME", -2, std::nullopt},
        {"empty file", ""s, "NAME", -3, std::nullopt},
        {"character value with its NUL", characterVar("NAME", "Mario Rossi") + "\x1A", "NAME", 1,
         "Mario Rossi\0"s},
        {"empty character value", characterVar("NAME", "") + "\x1A", "NAME", 1, "\0"s},
        {"logical 1 is T", logicalVar("FLAG", 1) + "\x1A", "FLAG", 1, "T\0"s},
        {"logical 0 is F", logicalVar("FLAG", 0) + "\x1A", "FLAG", 1, "F\0"s},
        {"logical 0x80 is T", logicalVar("FLAG", 0x80) + "\x1A", "FLAG", 1, "T\0"s},
        {"numeric leaves the buffer", numericVar("PRICE") + "\x1A", "PRICE", 1, std::nullopt},
        {"date leaves the buffer", dateVar("WHEN") + "\x1A", "WHEN", 1, std::nullopt},
        {"type byte without its high bit", memEntry("NAME", 'C', "x\0"s), "NAME", 1, std::nullopt},
        {"second of several entries", characterVar("A", "1") + characterVar("B", "2") + "\x1A", "B",
         1, "2\0"s},
        {"names compare byte for byte", characterVar("NAME", "x") + "\x1A", "name", -1,
         std::nullopt},
        {"a prefix of a stored name", characterVar("NAMES", "x") + "\x1A", "NAME", -1,
         std::nullopt},
        {"a suffix matches inside the stored name", innerSuffix + "\x1A", "NAME", 1, "bc\0"s},
        {"first occurrence wins, inside a value",
         characterVar("TEXT", "NAME") + characterVar("NAME", "real") + "\x1A", "NAME", 1,
         std::nullopt},
        {"empty name matches the first NUL", emptyName + "\x1A", "", 1, "T\0"s},
        {"CR LF and 0x1A before the entry count as bytes",
         "\r\n\x1A\r\n" + characterVar("NAME", "v\r\nw\x1A") + "\x1A", "NAME", 1, "v\r\nw\x1A\0"s},
        {"entry wholly beyond 10000 bytes", pad + characterVar("NAME", "v") + "\x1A", "NAME", -1,
         std::nullopt},
        {"pattern followed by one byte", "XXNAME\0a"s, "NAME", -1, std::nullopt},
        {"ten-letter name, type byte right after the pattern", "ABCDEFGHIJ\0\xCEx"s, "ABCDEFGHIJ",
         1, std::nullopt},
        {"ten-letter name, nothing after the type byte", "ABCDEFGHIJ\0\xCE"s, "ABCDEFGHIJ", -1,
         std::nullopt},
        // Entries reaching beyond the bytes read count as absent.
        {"type byte beyond the end of the file", "NAME\0ab"s, "NAME", -1, std::nullopt},
        {"logical value beyond the end of the file", logicalVar("FLAG", 1).substr(0, 32), "FLAG",
         -1, std::nullopt},
        {"logical value is the last byte", logicalVar("FLAG", 0), "FLAG", 1, "F\0"s},
        {"character value cut short", characterVar("NAME", "Mario").substr(0, 36), "NAME", -1,
         std::nullopt},
        {"character value starting beyond the end", characterVar("NAME", "x").substr(0, 32), "NAME",
         -1, std::nullopt},
        {"character value across the 10000-byte limit", straddling + "\x1A", "NAME", -1,
         std::nullopt},
        {"character value ending at byte 10000", endingAtLimit + "\x1A", "NAME", 1,
         std::string(fillingLength, 'v') + '\0'},
    };
}

TEST(Vedivar, Examples) {
    TempDir dir;
    for (const LookupCase &c : lookupCases()) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file("vars.mem");
        std::filesystem::remove(path);
        if (c.file) writeFile(path, *c.file);
        OutputBuffer out;
        EXPECT_EQ(VEDIVAR(path.c_str(), c.name.c_str(), out.bytes.data()), c.status);
        EXPECT_EQ(out.written(), c.written);
        EXPECT_TRUE(out.restUntouched(c.written ? c.written->size() : 0));

        // An exactly sized copy of the bytes read lets the sanitizer catch
        // any look past them.
        if (!c.file || c.file->empty()) continue;
        const std::string read = c.file->substr(0, hostutil::kMemoryVariableWindowSize);
        const std::vector<unsigned char> window(read.begin(), read.end());
        EXPECT_EQ(hostutil::lookUpMemoryVariable(window, c.name).status, c.status);
    }
}

// Independent statement of the lookup: first occurrence of name+NUL, needing
// two bytes after it, and every byte of the entry it relies on inside the window.
struct ModelResult {
    int32_t status;
    std::optional<std::string> written;
};
ModelResult modelLookup(const std::string &file, const std::string &name) {
    if (file.empty()) return {-3, std::nullopt};
    const std::string window = file.substr(0, 10000);
    const std::size_t at = window.find(name + '\0');
    if (at == std::string::npos || at + name.size() + 1 + 2 > window.size())
        return {-1, std::nullopt};
    if (at + 11 >= window.size()) return {-1, std::nullopt};
    const auto type = static_cast<unsigned char>(window[at + 11]);
    if (type != kCharacter && type != kLogical) return {1, std::nullopt};
    if (at + 32 >= window.size()) return {-1, std::nullopt};
    if (type == kLogical) return {1, window[at + 32] != 0 ? "T\0"s : "F\0"s};
    const std::size_t end = window.find('\0', at + 32);
    if (end == std::string::npos) return {-1, std::nullopt};
    return {1, window.substr(at + 32, end - (at + 32) + 1)};
}

TEST(Vedivar, MatchesModelOnRandomFiles) {
    std::mt19937 random(20261208);
    const std::vector<std::string> names = {"ABC", "BC", "C", "XABC",       "AB",    "TOTALE",
                                            "ALE", "E",  "A", "NOME_LUNGO", "LUNGO", ""};
    const std::array<unsigned char, 7> types = {kCharacter, kLogical, kNumeric, kDate,
                                                'C',        'L',      0x00};
    auto pick = [&](auto &from) -> auto & {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    };
    // Random bytes with NULs, type bytes and whole names mixed in, so that
    // names also turn up inside values.
    auto randomValue = [&](std::size_t maxLength) {
        const std::size_t length = std::uniform_int_distribution<std::size_t>(0, maxLength)(random);
        std::string value;
        while (value.size() < length) {
            switch (random() % 6) {
            case 0: value += '\0'; break;
            case 1: value += pick(names) + '\0'; break;
            case 2: value += static_cast<char>(pick(types)); break;
            default: value += static_cast<char>(random() & 0xFF); break;
            }
        }
        value.resize(length);
        return value;
    };

    TempDir dir;
    const std::string path = dir.file("random.mem");
    for (int round = 0; round < 400; ++round) {
        std::string file;
        const int entries = std::uniform_int_distribution<int>(1, 12)(random);
        for (int e = 0; e < entries; ++e) {
            const unsigned char type = pick(types);
            std::string value = type == kCharacter ? randomValue(40) + '\0'
                                : type == kLogical ? std::string(1, static_cast<char>(random() % 3))
                                                   : randomValue(8);
            file += memEntry(pick(names), type, value);
            if (random() % 8 == 0) file += randomValue(9800);  // reach towards the limit
        }
        if (random() % 2 == 0) file += '\x1A';
        if (random() % 3 == 0)
            file.resize(std::uniform_int_distribution<std::size_t>(0, file.size())(random));
        const std::vector<unsigned char> window(
            file.begin(), file.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                             file.size(), hostutil::kMemoryVariableWindowSize)));
        const bool throughFile = round % 10 == 0;
        if (throughFile) writeFile(path, file);

        for (const std::string &name : names) {
            SCOPED_TRACE("round " + std::to_string(round) + " name '" + name + "'");
            const ModelResult expected = modelLookup(file, name);
            if (!window.empty()) {
                const auto result = hostutil::lookUpMemoryVariable(window, name);
                ASSERT_EQ(result.status, expected.status);
                ASSERT_EQ(result.output.empty() ? std::nullopt
                                                : std::optional<std::string>(result.output),
                          expected.written);
            }
            if (throughFile) {
                OutputBuffer out;
                ASSERT_EQ(VEDIVAR(path.c_str(), name.c_str(), out.bytes.data()), expected.status);
                if (expected.written) {
                    ASSERT_EQ(std::string(out.bytes.data(), expected.written->size()),
                              *expected.written);
                }
                ASSERT_TRUE(out.restUntouched(expected.written ? expected.written->size() : 0));
            }
        }
    }
}

TEST(Vedivar, NullArgumentsAreRefused) {
    OutputBuffer out;
    EXPECT_EQ(VEDIVAR(nullptr, "NAME", out.bytes.data()), -2);
    EXPECT_EQ(VEDIVAR("vars.mem", nullptr, out.bytes.data()), -1);
    EXPECT_TRUE(out.restUntouched(0));
}

}  // namespace
