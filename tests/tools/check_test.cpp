// textfind-check on stores the builder wrote and on stores written directly
// with one problem planted each.
#include "check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "json.h"
#include "json_value.h"
#include "run_command.h"
#include "scramble.h"
#include "store_files.h"
#include "stores.h"

namespace {

using namespace std::string_literals;
using Postings = std::vector<std::pair<int32_t, std::string>>;

test::Ran checkTool(const std::string &arguments) {
    return test::runCommand(std::string(TEXTFIND_CHECK_TOOL) + " " + arguments);
}

TEST(Checker, TheDemoStoresAreClean) {
    test::ScratchFolder folder;
    ASSERT_EQ(test::runCommand(std::string(TEXTFIND_BUILD_TOOL) + " " + DEMO_FOLDER +
                               "/catalogue.tsv . >/dev/null")
                  .status,
              0);
    ASSERT_EQ(test::runCommand("cp " + std::string(DEMO_FOLDER) + "/noused.txt .").status, 0);
    const test::Ran human = checkTool(".");
    EXPECT_EQ(human.status, 0) << human.output;
    EXPECT_NE(human.output.find("a host's buffer needs 141 bytes"), std::string::npos)
        << human.output;
    const test::Ran json = checkTool("--json .");
    ASSERT_EQ(json.status, 0);
    const test::JsonValue report = test::parseJson(json.output);
    EXPECT_EQ(report["status"].integer(), 0);
    EXPECT_TRUE(report["problems"].items.empty());
    EXPECT_EQ(report["records"]["records"].integer(), 251);
    EXPECT_EQ(report["records"]["bufferSize"].integer(), 141);
    EXPECT_EQ(report["records"]["longestTextEntry"].integer(), 140);
    EXPECT_EQ(report["index"]["categories"]["MM"].integer(), 247);
    EXPECT_EQ(report["stopWords"]["entries"].integer(), 66);
}

// Records 1..6 and an index over them, with one planted problem.
struct Planted {
    const char *name;
    std::vector<std::pair<std::string, std::string>> index;  // key, data
    std::vector<std::pair<std::string, std::string>> records;
    std::string stopWords;
    std::string file, what;  // the problem named
    std::string key;
    std::optional<int32_t> record;
};

std::vector<std::pair<std::string, std::string>> storeOf(std::map<int32_t, std::string> texts) {
    std::vector<std::pair<std::string, std::string>> items;
    for (auto &[record, text] : texts) {
        textfind::scrambleInPlace(text);
        items.emplace_back(test::recordKey(record), text);
    }
    return items;
}

TEST(Checker, NamesEachPlantedProblem) {
    const auto records = storeOf({{1, "casa rossa"}, {2, "mare"}, {3, "casa"}});
    const std::string casa = test::postingsData(Postings{{1, "EE"}, {3, "EE"}});
    const std::string rossa = test::postingsData(Postings{{1, "EE"}});
    const std::string mare = test::postingsData(Postings{{2, "MM"}});
    auto index = [&](std::vector<std::pair<std::string, std::string>> extra) {
        std::vector<std::pair<std::string, std::string>> items = {
            {"CASA", casa}, {"MARE", mare}, {"ROSSA", rossa}};
        for (auto &item : extra) {
            auto at = std::find_if(items.begin(), items.end(),
                                   [&](auto &i) { return i.first == item.first; });
            if (at != items.end())
                *at = item;
            else
                items.push_back(item);
        }
        std::sort(items.begin(), items.end());
        return items;
    };
    std::vector<std::pair<std::string, std::string>> withFiveByteKey = records;
    withFiveByteKey.emplace_back("\x04\0\0\0\0"s, "x");
    auto withNul = storeOf({{1, "casa rossa"}, {2, "ma\0re"s}, {3, "casa"}});
    auto withShortEntry = records;
    withShortEntry.emplace_back("longest-text", "\x05\0\0\0"s);
    auto inCp1252 = records;
    inCp1252.emplace_back("code-page", "CP1252");
    std::sort(inCp1252.begin(), inCp1252.end());
    const Planted rows[] = {
        {"small-letter key", index({{"casa", casa}}), records, "", "opere.idb",
         "key in small letters (never matches a query)", "casa", std::nullopt},
        {"trailing bytes", index({{"MARE", mare + "xyz"}}), records, "", "opere.idb",
         "3 trailing bytes after the postings", "MARE", std::nullopt},
        {"dangling posting", index({{"MARE", test::postingsData(Postings{{2, "MM"}, {99, "MM"}})}}),
         records, "", "opere.idb", "posting of a record the store lacks", "MARE", 99},
        {"repeated posting", index({{"MARE", test::postingsData(Postings{{2, "MM"}, {2, "MM"}})}}),
         records, "", "opere.idb", "record posted more than once under one word", "MARE", 2},
        {"separator in a key", index({{"CA SA", casa}}), records, "", "opere.idb",
         "key holding a separator (never matches a query)", "CA SA", std::nullopt},
        {"line break in a key", index({{"CA\nSA", casa}}), records, "", "opere.idb",
         "key holding a line break (a query hardly can: the words around a line break of the "
         "text are not found)",
         "CA\nSA", std::nullopt},
        {"5-byte record key", index({}), withFiveByteKey, "", "opere.ddb",
         "key not 4 bytes long (no record number)", "\x04\0\0\0\0"s, std::nullopt},
        {"NUL in a text", index({}), withNul, "", "opere.ddb",
         "text holding a NUL byte (the host sees it cut)", "", 2},
        {"record no word points to", index({{"MARE", test::postingsData(Postings{})}}), records, "",
         "opere.ddb", "record that no word points to (never found)", "", 2},
        {"small-letter stop word", index({}), records, "IL\r\nla\r\n", "noused.txt",
         "entry with small letters (it can never match)", "la", std::nullopt},
        {"over-long stop-word line", index({}), records, std::string(300, 'X') + "\r\n",
         "noused.txt", "line longer than 254 bytes (the rest is dropped)", std::string(40, 'X'),
         std::nullopt},
        {"stop word with a trailing blank", index({}), records, "IL \r\nE\r\n", "noused.txt",
         "entry holding a blank or another separator (it can never match)", "IL ", std::nullopt},
        {"longest-text entry below a text", index({}), withShortEntry, "", "opere.ddb",
         "text longer than the longest-text entry (5 bytes): the library refuses it", "", 1},
        {"stop word with an accented capital", index({}), records, "PI\xC3\x99\r\n", "noused.txt",
         "entry with an accented capital, which never stops the word as users type it; the form "
         "that does: PI\xC3\xB9",
         "PI\xC3\x99", std::nullopt},
        {"UTF-8 stop word in CP1252 stores", index({}), inCp1252, "\xC3\xA8\r\n", "noused.txt",
         "entry in UTF-8 while the stores are in CP1252 (it can never match: build with "
         "--stop-words, or convert the file)",
         "\xC3\xA8", std::nullopt},
    };
    for (const Planted &row : rows) {
        SCOPED_TRACE(row.name);
        test::ScratchFolder folder;
        test::writeBtree("opere.idb", row.index);
        test::writeBtree("opere.ddb", row.records);
        if (!row.stopWords.empty()) test::writeFile("noused.txt", row.stopWords);
        const auto report = textfind::check::checkFolder(".");
        EXPECT_EQ(report.exitStatus(), 1);
        ASSERT_EQ(report.problems.size(), 1u) << textfind::check::humanReport(report);
        const auto &problem = report.problems.front();
        EXPECT_EQ(problem.file, row.file);
        EXPECT_EQ(problem.what, row.what);
        EXPECT_EQ(problem.key, row.key);
        EXPECT_EQ(problem.record, row.record);
        // The tool says the same, with its status.
        const test::Ran json = checkTool("--json .");
        EXPECT_EQ(json.status, 1);
        const test::JsonValue parsed = test::parseJson(json.output);
        ASSERT_EQ(parsed["problems"].items.size(), 1u);
        EXPECT_EQ(parsed["problems"][0]["what"].text, row.what);
    }
}

// What the checker says of a folder it cannot check, or of a command line
// it cannot follow: the reason, and the status every tool gives it.
TEST(Checker, SaysWhatIsWrongInWords) {
    struct Row {
        const char *name;
        std::function<void()> arrange;
        const char *arguments;
        int status;
        const char *words;
    };
    const auto indexOnly = [] {
        test::writeBtree("opere.idb", {{"CASA", test::postingsData(Postings{{1, "EE"}})}});
    };
    const Row rows[] = {
        {"a missing store", indexOnly, ".", 3,
         "opere.ddb: cannot be read: No such file or directory"},
        {"a folder in a store's place",
         [&] {
             indexOnly();
             std::filesystem::create_directory("opere.ddb");
         },
         ".", 3, "opere.ddb: cannot be read: not a file"},
        {"no store at all", [] {}, ".", 3, "opere.idb: cannot be read: No such file"},
        {"no store but something else",
         [&] {
             indexOnly();
             test::writeFile("opere.ddb", "not a store at all\n");
         },
         ".", 1, "fails Berkeley DB's verification"},
        {"one record, one key",
         [] {
             textfind::build::writeStores({{1, "AB", "casa"}}, ".");
         },
         ".", 0, "1 key, 1 posting; records by category: AB 1\n"},
        {"a record without words, named",
         [] {
             textfind::build::writeStores({{1, "AB", "casa"}, {2, "AB", "..."}}, ".");
         },
         ".", 0, "note: 1 of: record without words (no query finds it): record 2\n"},
        {"progress asked for",
         [] {
             textfind::build::writeStores({{1, "AB", "casa"}}, ".");
         },
         "--progress .", 0, "textfind-check: reading opere.idb: done"},
        {"an unknown option", [] {}, "--fast .", 2,
         "unknown option --fast (try textfind-check --help)"},
        {"two folders", [] {}, "a b", 2, "(try textfind-check --help)"},
        {"help", [] {}, "--help", 0, "Exit status:"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        test::ScratchFolder folder;
        row.arrange();
        const test::Ran ran = checkTool(row.arguments + " 2>&1"s);
        EXPECT_EQ(ran.status, row.status) << ran.output;
        EXPECT_NE(ran.output.find(row.words), std::string::npos) << ran.output;
        if (row.status == 2) {
            EXPECT_EQ(std::count(ran.output.begin(), ran.output.end(), '\n'), 1);
        }
    }
}

// The proof in each state a folder can put it in, and what the checker
// says of it: in its line for the proof, and as a problem or a note that
// tells the keeper what to do.
TEST(Checker, SaysWhatTheProofFinds) {
    test::TempDir other;
    textfind::build::writeStores({{1, "AB", "altra raccolta"}}, other.path());
    const std::string otherFolder = other.path();
    struct Row {
        const char *name;
        std::function<void()> change;
        const char *state;
        int status;
        const char *words;  // in a problem or a note about the proof
    };
    const Row rows[] = {
        {"as built", [] {}, "present, matching", 0, ""},
        {"no proof", [] { std::filesystem::remove("opere.sum"); }, "absent", 0,
         "the library reads them unproven"},
        {"a damaged proof", [] { test::writeFile("opere.sum", "TFPROOF1 damaged"); },
         "present, damaged", 1, "opere.sum is damaged"},
        {"a store edited",
         [] {
             std::string bytes = test::readFile("opere.ddb");
             bytes[bytes.size() - 100] ^= 1;
             test::writeFile("opere.ddb", bytes);
         },
         "present, not matching", 1,
         "opere.ddb is not what the builder wrote (page 1 differs: damaged or edited since): the "
         "library refuses what it reads of it; build the stores again, or, if another program "
         "changed them on purpose, remove opere.sum (or run textfind-check --prove)"},
        {"a build killed while it moved its files",
         [] { test::writeFile("opere.swap", "textfind-build swap 1\n"); }, "present, matching", 1,
         "a build was killed while it put its stores in place (the pair may be mixed): run "
         "textfind-build --restore"},
        {"one store of another build",
         [&] {
             std::filesystem::copy_file(otherFolder + "/opere.ddb", "opere.ddb",
                                        std::filesystem::copy_options::overwrite_existing);
         },
         "present, not matching (a mixed pair)", 1,
         "the two stores come from different builds (the proof names opere.idb only)"},
        {"both stores of another build",
         [&] {
             for (const char *name : {"/opere.idb", "/opere.ddb"})
                 std::filesystem::copy_file(otherFolder + name, std::string(".") + name,
                                            std::filesystem::copy_options::overwrite_existing);
         },
         "present, of other stores", 0, "the proof belongs to other stores"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        test::ScratchFolder folder;
        textfind::build::writeStores({{1, "AB", "casa rossa"}, {2, "AB", "mare"}}, ".");
        row.change();
        const test::Ran human = checkTool(".");
        EXPECT_EQ(human.status, row.status) << human.output;
        EXPECT_NE(human.output.find(std::string("opere.sum: ") + row.state + "\n"),
                  std::string::npos)
            << human.output;
        EXPECT_NE(human.output.find(row.words), std::string::npos) << human.output;
        const test::JsonValue json = test::parseJson(checkTool("--json .").output);
        EXPECT_EQ(json["proof"]["state"].text, row.state);
    }
}

// Bytes that are no UTF-8 character (overlong forms, surrogates, beyond
// U+10FFFF) are escaped one by one: passed raw they make the report invalid.
TEST(Checker, JsonOutputIsValidUtf8AndExact) {
    const std::pair<std::string, std::string> strings[] = {
        {"caff\xC3\xA8 \xE2\x98\x83", "\"caff\xC3\xA8 \xE2\x98\x83\""},
        {"\xC0\xAF", "\"\\u00C0\\u00AF\""},
        {"\xED\xA0\x80", "\"\\u00ED\\u00A0\\u0080\""},
        {"\xF4\x90\x80\x80", "\"\\u00F4\\u0090\\u0080\\u0080\""},
        {"\xE2\x98", "\"\\u00E2\\u0098\""},
    };
    for (const auto &[bytes, json] : strings) EXPECT_EQ(tools::jsonString(bytes), json) << json;
    tools::JsonWriter writer;
    writer.beginArray().value(UINT64_MAX).value(INT64_MIN).endArray();
    EXPECT_EQ(writer.text(), "[18446744073709551615, -9223372036854775808]");
}

}  // namespace
