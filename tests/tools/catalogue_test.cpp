// textfind-build: the catalogue format, the stores it writes and its
// refusal of bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue.h"
#include "encoding.h"
#include "proof.h"
#include "run_command.h"
#include "small_filesystem.h"
#include "store_files.h"
#include "stores.h"
#include "textfind.h"

namespace {

using namespace std::string_literals;
using test::Delivery;
using textfind::build::CatalogueError;
using textfind::build::parseCatalogue;

TEST(Catalogue, AcceptedForms) {
    const auto records = parseCatalogue(
        "# comment\n"
        "\n"
        "1\tEE\tLa casa\r\n"
        "-2147483648\t\t\n"
        "2147483647\tM\ttab\tinside\n"
        "00000000000000000000007\t\tzeros do not make a number long\n"
        "0\tmM\tlast line without LF",
        "c.tsv");
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].number, 1);
    EXPECT_EQ(records[0].category, "EE");
    EXPECT_EQ(records[0].text, "La casa");
    EXPECT_EQ(records[1].number, INT32_MIN);
    EXPECT_EQ(records[1].category, "");
    EXPECT_EQ(records[1].text, "");
    EXPECT_EQ(records[2].number, INT32_MAX);
    EXPECT_EQ(records[2].text, "tab\tinside");
    EXPECT_EQ(records[3].number, 7);
    EXPECT_EQ(records[4].text, "last line without LF");
}

struct BadInput {
    const char *content;
    const char *message;
};

const BadInput kBadInputs[] = {
    {"1\tEE\tok\nno tabs here\n", "c.tsv:2: malformed line"},
    {"1\tEE only one tab\n", "c.tsv:1: malformed line"},
    {"1\tEE\tok\n\n# x\n12a\tEE\tx\n", "c.tsv:4: record number \"12a\" is not a decimal integer"},
    {"\tEE\tx\n", "c.tsv:1: record number \"\" is not a decimal integer"},
    {"+5\tEE\tx\n", "c.tsv:1: record number \"+5\" is not a decimal integer"},
    {"2147483648\tEE\tx\n", "c.tsv:1: record number 2147483648 is outside 32 bits"},
    {"-2147483649\tEE\tx\n", "c.tsv:1: record number -2147483649 is outside 32 bits"},
    {"-0002147483649\tEE\tx\n", "c.tsv:1: record number -0002147483649 is outside 32 bits"},
    {"99999999999999999999999\tEE\tx\n",
     "c.tsv:1: record number 99999999999999999999999 is outside 32 bits"},
    {"5\tEE\tx\n6\tEE\ty\n5\tMM\tz\n", "c.tsv:3: duplicate record number 5 (first on line 1)"},
    {"5\tABC\tx\n", "c.tsv:1: category code \"ABC\" is longer than 2 bytes"},
    {"5\tEE\tx\0y\n", "c.tsv:1: NUL byte in line"},
};

TEST(Catalogue, BadInputNamesTheLine) {
    for (const BadInput &bad : kBadInputs) {
        const std::string content(
            bad.content,
            std::char_traits<char>::length(bad.content) +
                (std::string_view(bad.message).find("NUL") != std::string_view::npos ? 4 : 0));
        try {
            parseCatalogue(content, "c.tsv");
            ADD_FAILURE() << "accepted: " << bad.message;
        } catch (const CatalogueError &e) {
            EXPECT_EQ(std::string(e.what()).rfind(bad.message, 0), 0u) << e.what();
        }
    }
}

TEST(Catalogue, CsvRecords) {
    using textfind::build::Format;
    using textfind::build::ReadOptions;
    struct Row {
        const char *name;
        std::string content;
        ReadOptions options;
        std::vector<std::pair<int32_t, std::string>> records;  // number, text
    };
    const ReadOptions csv{Format::kCsv};
    const Row rows[] = {
        {"plain fields and both line ends",
         "1,EE,casa\r\n2,MM,mare\n3,,\n",
         csv,
         {{1, "casa"}, {2, "mare"}, {3, ""}}},
        {"quoted commas, quotes and line breaks",
         "7,EE,\"a, b\"\n8,MM,\"say \"\"hi\"\"\"\n9,AB,\"two\r\nlines\nhere\"\n10,\"\",\"\"",
         csv,
         {{7, "a, b"}, {8, "say \"hi\""}, {9, "two\r\nlines\nhere"}, {10, ""}}},
        {"a header row, empty lines skipped",
         "number,code,text\n\n5,EE,x\n\n",
         ReadOptions{Format::kCsv, ',', true},
         {{5, "x"}}},
        {"another delimiter",
         "5;EE;a,b c\n6;EE;\"x;y\"\n",
         ReadOptions{Format::kCsv, ';'},
         {{5, "a,b c"}, {6, "x;y"}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto records = parseCatalogue(row.content, "c.csv", row.options);
        ASSERT_EQ(records.size(), row.records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].number, row.records[i].first);
            EXPECT_EQ(records[i].text, row.records[i].second);
        }
    }
    const std::pair<std::string, const char *> bad[] = {
        {"1,EE,ok\n2,EE,\"never closed\n3,EE,x\n", "c.csv:2: quoted field never closed"},
        {"1,EE,ok\n2,EE,a\"b\n", "c.csv:2: a quote inside a field that is not quoted"},
        {"1,EE,\"a\"b\n", "c.csv:1: a quoted field must end at a delimiter"},
        {"1,EE\n", "c.csv:1: expected 3 fields"},
        {"1,EE,\"x\ny\"\n2,EE,a,b\n", "c.csv:3: expected 3 fields"},
        {"1,EE,a\n1,MM,b\n", "c.csv:2: duplicate record number 1 (first on line 1)"},
        {"x,EE,a\n", "c.csv:1: record number \"x\" is not a decimal integer"},
    };
    for (const auto &[content, message] : bad) {
        try {
            parseCatalogue(content, "c.csv", csv);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const CatalogueError &e) {
            EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
        }
    }
}

TEST(Catalogue, TextsConvertedToTheHostsCodePage) {
    tools::Converter toWindows("UTF-8", "CP1252");
    textfind::build::ReadOptions options;
    options.converter = &toWindows;
    auto records = parseCatalogue("1\tEE\tcitt\xC3\xA0 \xE2\x82\xAC\n", "c.tsv", options);
    EXPECT_EQ(records.at(0).text, "citt\xE0 \x80");
    try {
        parseCatalogue("1\tEE\tok\n2\tEE\tthe moon \xF0\x9F\x8C\x95\n", "c.tsv", options);
        ADD_FAILURE() << "a character CP1252 lacks was accepted";
    } catch (const CatalogueError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("c.tsv:2: ", 0), 0u) << e.what();
    }
    options.replaceUnconvertible = true;
    textfind::build::CatalogueReader reader(
        "2\tEE\tthe moon \xF0\x9F\x8C\x95 \xE2\x98\x95\xF3\xA0\x81\xBF\n", "c.tsv", options);
    textfind::build::CatalogueRecord record;
    std::size_t line = 0;
    ASSERT_TRUE(reader.next(record, line));
    EXPECT_EQ(record.text, "the moon ? ??");
    EXPECT_EQ(reader.replaced(), 3u);
}

// Runs that go to disk, merged a few at a time over several levels, give the
// stores one run in memory does; a record number repeated across runs is
// still found. Over 32768 distinct words make the word table grow.
TEST(BuildTool, StoresOutOfManyRunsEqualStoresOutOfOne) {
    std::vector<textfind::build::CatalogueRecord> records;
    for (int32_t r = 0; r < 3000; ++r) {
        const int32_t number = (r * 7919) % 3000 - 1500;  // every number once, scattered
        std::string text = "parola" + std::to_string(r % 50) + " comune";
        for (int w = 0; w < 12; ++w) text += " t" + std::to_string(r) + "x" + std::to_string(w);
        records.push_back({number, r % 3 ? "EE" : "mM", text});
    }
    test::TempDir one, many;
    textfind::build::writeStores(records, one.path());
    textfind::build::StoreBuilder builder(many.path(), "c.tsv", {4096, 100});
    for (std::size_t i = 0; i < records.size(); ++i) builder.add(records[i], i + 1);
    builder.finish();
    for (const char *name : {"/opere.idb", "/opere.ddb"})
        EXPECT_EQ(test::readBtree(one.path() + name), test::readBtree(many.path() + name)) << name;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(many.path()),
                            std::filesystem::directory_iterator()),
              3);

    textfind::build::StoreBuilder repeated(many.path(), "c.tsv", {4096, 100});
    for (std::size_t i = 0; i < records.size(); ++i) repeated.add(records[i], i + 1);
    repeated.add(records[5], records.size() + 1);
    try {
        repeated.finish();
        ADD_FAILURE() << "a repeated record number was accepted";
    } catch (const CatalogueError &e) {
        EXPECT_EQ(std::string(e.what()), "c.tsv:3001: duplicate record number " +
                                             std::to_string(records[5].number) +
                                             " (first on line 6)");
    }
}

std::pair<int, std::string> runTool(const std::string &arguments);

// A Windows host works in its ANSI code page: the demo built for CP1252
// answers a query written in CP1252 bytes.
TEST(BuildTool, TheDemoBuiltForCp1252FindsItsAccentedRecordInCp1252) {
    test::ScratchFolder folder;
    const auto [status, output] =
        runTool("--encoding UTF-8:CP1252 " + std::string(DEMO_CATALOGUE) + " .");
    ASSERT_EQ(status, 0) << output;
    ASSERT_EQ(ScanDB("M\xE9moires", 0, "MM"), 1);
    EXPECT_EQ(test::drain(),
              (std::vector<Delivery>{{1,
                                      "Carlo Goldoni, M\xE9moires (1787): memorie in francese "
                                      "della vita e del teatro dell'autore."}}));
    EXPECT_EQ(ScanDB("citt\xE0", 0, "**"), 5);
    EXPECT_EQ(ScanDB("M\xC3\xA9moires", 0, "MM"), 0);  // the UTF-8 bytes are no word here
    ScanDB("", 1, "");
}

std::pair<int, std::string> runTool(const std::string &arguments) {
    const test::Ran ran =
        test::runCommand(std::string(TEXTFIND_BUILD_TOOL) + " " + arguments + " 2>&1");
    return {ran.status, ran.output};
}

std::vector<std::string> folderListing() {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator("."))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(BuildTool, BadInputReplacesNothing) {
    test::ScratchFolder folder;
    test::writeFile("good.tsv", "1\tEE\tLa casa\n");
    ASSERT_EQ(runTool("good.tsv").first, 0);
    const std::string idb = test::readFile("opere.idb");
    const std::string ddb = test::readFile("opere.ddb");
    for (const BadInput &bad : kBadInputs) {
        if (std::string_view(bad.message).find("NUL") != std::string_view::npos) continue;
        test::writeFile("c.tsv", bad.content);
        const auto [status, output] = runTool("c.tsv .");
        EXPECT_NE(status, 0) << bad.message;
        EXPECT_NE(output.find(bad.message), std::string::npos) << output;
        EXPECT_EQ(test::readFile("opere.idb"), idb);
        EXPECT_EQ(test::readFile("opere.ddb"), ddb);
        EXPECT_EQ(folderListing(), (std::vector<std::string>{"c.tsv", "good.tsv", "opere.ddb",
                                                             "opere.idb", "opere.sum"}));
    }
    EXPECT_NE(runTool("missing.tsv").first, 0);
    EXPECT_NE(runTool("good.tsv /nonexistent-folder").first, 0);
    EXPECT_EQ(test::readFile("opere.idb"), idb);
    const auto [status, help] = runTool("--help");
    EXPECT_EQ(status, 0);
    EXPECT_NE(help.find("record number"), std::string::npos);
}

// What the builder says of each thing a keeper gets wrong, and how it ends.
TEST(BuildTool, SaysWhatIsWrongInWordsAKeeperCanActOn) {
    std::string snowmen;
    for (int r = 1; r <= 25; ++r) snowmen += std::to_string(r) + "\tAB\tsnow \xE2\x98\x83 man\n";
    struct Row {
        const char *finding;
        std::string catalogue;
        std::string arguments;
        int status;
        std::vector<std::string> words;
        std::string stopWords{};  // written as sw.txt
        std::string noused{};     // what noused.txt then holds
    };
    std::string longCodes;
    for (int r = 1; r <= 25; ++r) longCodes += std::to_string(r) + "\tABC\tcasa\n";
    const Row rows[] = {
        {"a byte order mark",
         "\xEF\xBB\xBF"
         "1\tAB\tcasa\n",
         "c.tsv .",
         0,
         {"1 record, 1 word"}},
        {"Latin-1 given as no code page",
         "1\tAB\tcitt\xE0\n",
         "c.tsv .",
         0,
         {"note: the catalogue is not UTF-8 (line 1, column 5 of the text: byte 0xE0)",
          "stored as they are", "--encoding FROM:TO"}},
        {"Latin-1 given as UTF-8",
         "1\tAB\tcitt\xE0\n",
         "--encoding UTF-8:CP1252 c.tsv .",
         1,
         {"c.tsv:1: column 5 of the text: byte 0xE0 is no UTF-8", "not in UTF-8"}},
        {"characters without a form, on many lines",
         snowmen,
         "--encoding UTF-8:CP1252 c.tsv .",
         1,
         {"c.tsv:1: column 6 of the text: U+2603 \xE2\x98\x83 has no form in CP1252",
          "c.tsv:20: column 6", "... and 5 more lines", "25 lines cannot be converted"}},
        // iconv drops a tag character it has no form for, and says nothing.
        {"a tag character, which CP1252 lacks",
         "1\tAB\tflag\xF3\xA0\x80\x81\n",
         "--encoding UTF-8:CP1252 c.tsv .",
         1,
         {"c.tsv:1: column 5 of the text: U+E0001", "has no form in CP1252"}},
        {"--header on a tab-separated catalogue",
         "1\tAB\tcasa\n",
         "--header c.tsv .",
         2,
         {"--header is for CSV catalogues", "(try textfind-build --help)"}},
        {"semicolons in a CSV catalogue",
         "1;AB;\"casa\"\n",
         "--format csv c.tsv .",
         1,
         {"c.tsv:1:", "give --delimiter ';'"}},
        {"commas in a tab-separated catalogue",
         "1,AB,casa\n",
         "c.tsv .",
         1,
         {"c.tsv:1: malformed line", "--format csv"}},
        {"a missing folder",
         "1\tAB\tcasa\n",
         "c.tsv no-such-folder",
         3,
         {"no-such-folder: no such folder"}},
        {"a text over --max-text",
         "1\tAB\tla casa rossa\n",
         "--max-text 4 c.tsv .",
         1,
         {"c.tsv:1: the text is 13 bytes, more than --max-text 4"}},
        {"a text that conversion makes longer than --max-text",
         "1\tAB\tperch\xE9 citt\xE0\n",
         "--encoding CP1252:UTF-8 --max-text 12 c.tsv .",
         1,
         {"c.tsv:1: the text is 14 bytes in UTF-8, more than --max-text 12"}},
        {"a UTF-16 catalogue",
         std::string("\xFF\xFE"
                     "1\0\t\0A\0B\0\t\0x\0\n\0",
                     16),
         "c.tsv .",
         1,
         {"c.tsv:1: NUL byte in line (the catalogue looks like UTF-16LE", "iconv -f UTF-16LE"}},
        {"--restore where no build was interrupted",
         "",
         "--restore .",
         0,
         {"textfind-build: nothing to restore in ."}},
        {"category codes longer than 2 bytes, on many lines",
         longCodes,
         "c.tsv .",
         1,
         {"c.tsv:1: category code \"ABC\" is longer than 2 bytes", "c.tsv:20: category code",
          "... and 5 more lines", "25 category codes are longer than 2 bytes"}},
        {"stop words converted with the texts",
         "1\tAB\tperch\xC3\xA9\n",
         "--encoding UTF-8:CP1252 --stop-words sw.txt c.tsv .",
         0,
         {"1 record"},
         "PERCH\xC3\x89\nperch\xC3\xA9\n",
         "PERCH\xC9\r\nperch\xE9\r\n"},
        {"progress asked for",
         "1\tAB\tcasa\n",
         "--progress c.tsv .",
         0,
         {"textfind-build: reading c.tsv: done (1 record)",
          "textfind-build: writing opere.ddb: done", "textfind-build: writing opere.idb: done"}},
        {"a missing catalogue", "", "missing.tsv .", 3, {"missing.tsv: No such file"}},
        {"an unknown option",
         "",
         "--bogus c.tsv",
         2,
         {"textfind-build: unknown option --bogus (try textfind-build --help)"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.finding);
        test::ScratchFolder folder;
        test::writeFile("c.tsv", row.catalogue);
        if (!row.stopWords.empty()) test::writeFile("sw.txt", row.stopWords);
        const auto [status, output] = runTool(row.arguments);
        if (!row.noused.empty()) {
            EXPECT_EQ(test::readFile("noused.txt"), row.noused);
        }
        EXPECT_EQ(status, row.status) << output;
        for (const std::string &words : row.words)
            EXPECT_NE(output.find(words), std::string::npos) << words << "\n" << output;
        if (row.status == 2) {
            EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        }
    }
}

// A line break inside a quoted field ends a word as a blank would: both
// words are found, and the text is stored as written.
TEST(BuildTool, ALineBreakInsideAFieldEndsAWord) {
    test::ScratchFolder folder;
    test::writeFile("c.csv", "1,AB,\"prima riga\nseconda riga\"\n");
    ASSERT_EQ(runTool("--format csv c.csv .").first, 0);
    EXPECT_EQ(ScanDB("riga seconda", 1, "**"), 1);
    EXPECT_EQ(test::drain(), (std::vector<Delivery>{{1, "prima riga\nseconda riga"}}));
}

// A folder the builder may not write is said before the catalogue is read.
TEST(BuildTool, AFolderItMayNotWriteIsSaidFirst) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run the builder as another user";
    test::ScratchFolder folder;
    test::writeFile("c.tsv", "1\tAB\tcasa\n");
    std::filesystem::create_directory("read-only");
    std::filesystem::permissions(".", std::filesystem::perms(0755));
    std::filesystem::permissions("c.tsv", std::filesystem::perms(0644));
    std::filesystem::permissions("read-only", std::filesystem::perms(0555));
    const test::Ran ran = test::runCommand(
        "runuser -u nobody -- " + std::string(TEXTFIND_BUILD_TOOL) + " c.tsv read-only 2>&1");
    EXPECT_EQ(ran.status, 3) << ran.output;
    EXPECT_NE(ran.output.find("cannot write in read-only: Permission denied"), std::string::npos)
        << ran.output;
}

// A disk that fills while the stores are written: one line that says what
// failed, none of Berkeley DB's, and the folder as it was.
TEST(BuildTool, AFullDiskIsOneLineAndReplacesNothing) {
    test::SmallFilesystem small;
    test::writeFile(small.file("noused.txt"), "IL\r\n");
    const auto [status, output] =
        small.whileFull([&] { return runTool(std::string(DEMO_CATALOGUE) + " " + small.path()); });
    EXPECT_EQ(status, 3) << small.kind();
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    EXPECT_NE(output.find("textfind-build: cannot write"), std::string::npos) << output;
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(small.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"noused.txt"});
}

// A store larger than Berkeley DB's cache on a disk that fills: the cache
// cannot be written out, which Berkeley DB reports as an I/O error; the
// builder names the full disk.
TEST(BuildTool, AFullDiskBehindTheCacheIsNamedAsSuch) {
    test::SmallFilesystem small(256 * 1024);
    textfind::build::BuildLimits limits;
    limits.cacheBytes = 64 * 1024;
    std::string error;
    small.whileFull([&] {
        try {
            textfind::build::StoreBuilder builder(small.path(), "c.tsv", limits);
            for (int32_t r = 1; r <= 4000; ++r)
                builder.add({r, "AB", "testo numero " + std::to_string(r) + std::string(80, 'x')},
                            static_cast<std::size_t>(r));
            builder.finish();
        } catch (const std::exception &e) {
            error = e.what();
        }
    });
    EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error << small.kind();
}

TEST(BuildTool, StoresHoldNormalFormKeysSortedPostingsAndScrambledTexts) {
    test::ScratchFolder folder;
    const auto records = parseCatalogue(
        "12\tRO\tIl fu Mattia Pascal: romanzo, il romanzo\n"
        "-3\tmM\tl'amore e il mare\n"
        "7\t\tMare\n"
        "5\tP\t\n"
        "9\tPO\tCitt\xE0 di mare\n",
        "c.tsv");
    const auto summary = textfind::build::writeStores(records, ".");
    EXPECT_EQ(summary.records, 5u);
    EXPECT_EQ(folderListing(), (std::vector<std::string>{"opere.ddb", "opere.idb", "opere.sum"}));
    EXPECT_EQ(textfind::checkProof("", textfind::ProofDepth::kWhole).outcome,
              textfind::ProofOutcome::kMatches);

    const auto index = test::readBtree("opere.idb");
    using P = std::vector<std::pair<int32_t, std::string>>;
    const std::map<std::string, std::string> expectedIndex = {
        {"AMORE", test::postingsData(P{{-3, "mM"}})},
        {"CITT\xE0", test::postingsData(P{{9, "PO"}})},
        {"DI", test::postingsData(P{{9, "PO"}})},
        {"E", test::postingsData(P{{-3, "mM"}})},
        {"FU", test::postingsData(P{{12, "RO"}})},
        {"IL", test::postingsData(P{{-3, "mM"}, {12, "RO"}})},
        {"L", test::postingsData(P{{-3, "mM"}})},
        {"MARE", test::postingsData(P{{-3, "mM"}, {7, ""}, {9, "PO"}})},
        {"MATTIA", test::postingsData(P{{12, "RO"}})},
        {"PASCAL", test::postingsData(P{{12, "RO"}})},
        {"ROMANZO", test::postingsData(P{{12, "RO"}})},
    };
    ASSERT_EQ(index.size(), expectedIndex.size());
    for (const auto &[key, data] : expectedIndex) {
        ASSERT_TRUE(index.count(key)) << key;
        ASSERT_EQ(index.at(key).size(), data.size()) << key;
        for (std::size_t p = 0; p < data.size(); p += 8)  // reserved bytes may differ
            EXPECT_EQ(index.at(key).substr(p, 6), data.substr(p, 6)) << key;
    }

    // Five records and the length of the longest text, under a key no
    // record can have.
    const auto store = test::readBtree("opere.ddb");
    ASSERT_EQ(store.size(), 6u);
    EXPECT_EQ(store.at("longest-text"), "\x28\0\0\0"s);
    // The proof vouches for both: neither pays for page checksums.
    EXPECT_FALSE(test::hasPageChecksums("opere.ddb"));
    EXPECT_FALSE(test::hasPageChecksums("opere.idb"));
    EXPECT_EQ(store.at(test::recordKey(5)), "");
    EXPECT_EQ(store.at(test::recordKey(7)), "\x76\xFF\x75\xB1"s);  // "Mare" scrambled

    EXPECT_EQ(ScanDB("mare", 0, ""), 2);  // the empty code and mM
    EXPECT_EQ(test::drain(), (std::vector<Delivery>{{1, "Mare"}, {1, "l'amore e il mare"}}));
    EXPECT_EQ(ScanDB("il romanzo", 1, "RO"), 1);
    EXPECT_EQ(test::drain(),
              (std::vector<Delivery>{{1, "Il fu Mattia Pascal: romanzo, il romanzo"}}));
}

}  // namespace
