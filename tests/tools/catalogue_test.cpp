// textfind-build: the catalogue format, the stores it writes and its
// refusal of bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue.h"
#include "store_files.h"
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
        "0\tmM\tlast line without LF",
        "c.tsv");
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].number, 1);
    EXPECT_EQ(records[0].category, "EE");
    EXPECT_EQ(records[0].text, "La casa");
    EXPECT_EQ(records[1].number, INT32_MIN);
    EXPECT_EQ(records[1].category, "");
    EXPECT_EQ(records[1].text, "");
    EXPECT_EQ(records[2].number, INT32_MAX);
    EXPECT_EQ(records[2].text, "tab\tinside");
    EXPECT_EQ(records[3].text, "last line without LF");
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

std::pair<int, std::string> runTool(const std::string &arguments) {
    const std::string command = std::string(TEXTFIND_BUILD_TOOL) + " " + arguments + " 2>&1";
    FILE *pipe = ::popen(command.c_str(), "r");
    std::string output;
    char chunk[256];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
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
        EXPECT_EQ(folderListing(),
                  (std::vector<std::string>{"c.tsv", "good.tsv", "opere.ddb", "opere.idb"}));
    }
    EXPECT_NE(runTool("missing.tsv").first, 0);
    EXPECT_NE(runTool("good.tsv /nonexistent-folder").first, 0);
    EXPECT_EQ(test::readFile("opere.idb"), idb);
    const auto [status, help] = runTool("--help");
    EXPECT_EQ(status, 0);
    EXPECT_NE(help.find("record number"), std::string::npos);
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
    EXPECT_EQ(folderListing(), (std::vector<std::string>{"opere.ddb", "opere.idb"}));

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
    for (const char *file : {"opere.idb", "opere.ddb"})
        EXPECT_TRUE(test::hasPageChecksums(file)) << file;
    EXPECT_EQ(store.at(test::recordKey(5)), "");
    EXPECT_EQ(store.at(test::recordKey(7)), "\x76\xFF\x75\xB1"s);  // "Mare" scrambled

    EXPECT_EQ(ScanDB("mare", 0, ""), 2);  // the empty code and mM
    EXPECT_EQ(test::drain(), (std::vector<Delivery>{{1, "Mare"}, {1, "l'amore e il mare"}}));
    EXPECT_EQ(ScanDB("il romanzo", 1, "RO"), 1);
    EXPECT_EQ(test::drain(),
              (std::vector<Delivery>{{1, "Il fu Mattia Pascal: romanzo, il romanzo"}}));
}

}  // namespace
