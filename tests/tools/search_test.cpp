// textfind-search against the exports it calls, on the demo stores.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "btree_file.h"
#include "json_value.h"
#include "run_command.h"
#include "scramble.h"
#include "store_files.h"
#include "textfind.h"

namespace {

test::Ran searchTool(const std::string &arguments) {
    return test::runCommand("LC_ALL=C.UTF-8 " + std::string(TEXTFIND_SEARCH_TOOL) + " " +
                            arguments);
}

class Search : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(test::runCommand(std::string(TEXTFIND_BUILD_TOOL) + " " + DEMO_FOLDER +
                                   "/catalogue.tsv . >/dev/null")
                      .status,
                  0);
        ASSERT_EQ(test::runCommand("cp " + std::string(DEMO_FOLDER) + "/noused.txt .").status, 0);
    }
    void TearDown() override { ScanDB("", 1, ""); }
    test::ScratchFolder folder_;
};

TEST_F(Search, GivesTheExportsCountsAndTexts) {
    struct Row {
        const char *query;
        bool any;
        const char *selector;
    };
    const Row rows[] = {
        {"il romanzo della Sicilia", false, "**"},
        {"Venezia, Napoli", true, "**"},
        {"memorie scuola", true, "MM"},
        {"memorie scuola", true, "EE;MM"},
        {"poesie", false, "PO"},
        {"assente", true, "**"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.query);
        const test::Ran ran =
            searchTool(std::string(row.any ? "--any" : "--all") + " --selector '" + row.selector +
                       "' --json '" + row.query + "'");
        ASSERT_EQ(ran.status, 0) << ran.output;
        const test::JsonValue answer = test::parseJson(ran.output);
        const int32_t count = ScanDB(row.query, row.any ? 0 : 1, row.selector);
        const std::vector<test::Delivery> texts = test::drain();
        EXPECT_EQ(answer["count"].integer(), count);
        ASSERT_EQ(answer["texts"].items.size(), texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(answer["texts"][i].text, texts[i].text);
        EXPECT_EQ(answer["mode"].text, row.any ? "any" : "all");
    }
}

TEST_F(Search, CountsLimitsRecordsAndFailuresInWords) {
    EXPECT_EQ(searchTool("--any --count Venezia Napoli").output, "7 records\n");
    const test::Ran limited = searchTool("--any --limit 2 Venezia Napoli");
    EXPECT_EQ(std::count(limited.output.begin(), limited.output.end(), '\n'), 3);
    const test::Ran record = searchTool("--record 171");
    EXPECT_EQ(record.status, 0);
    EXPECT_EQ(record.output.rfind("Carlo Goldoni, Mémoires", 0), 0u) << record.output;
    const test::Ran missing = searchTool("--record 9999 2>&1");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("the record is not in the store"), std::string::npos);
    std::remove("opere.idb");
    const test::Ran noIndex = searchTool("casa 2>&1");
    EXPECT_EQ(noIndex.status, 2);
    EXPECT_NE(noIndex.output.find("opere.idb cannot be opened or read"), std::string::npos);
    EXPECT_EQ(searchTool("--help").status, 0);
}

// A record written longer than the longest text by another writer: the
// command's buffer holds what the entry says, and the library refuses the
// record rather than write past it (the sanitized build would see it).
TEST_F(Search, ARecordLongerThanTheEntryIsRefusedNotWrittenPastTheBuffer) {
    // As an older builder left them: page checksums and the entry, no proof.
    std::remove("opere.sum");
    test::writeBtree("opere.ddb", test::readBtreeItems("opere.ddb"), true);
    {
        textfind::BtreeFile store;
        ASSERT_EQ(store.open("opere.ddb", 0), textfind::OpenResult::kOpened);
        std::string text(70000, 'x');
        textfind::scrambleInPlace(text);
        ASSERT_TRUE(store.put(test::recordKey(171), text));
    }
    const test::Ran record = searchTool("--record 171 2>&1");
    EXPECT_EQ(record.status, 1) << record.output;
    EXPECT_NE(record.output.find("the record is not in the store"), std::string::npos)
        << record.output;
    const test::Ran drained = searchTool("--any --selector MM Goldoni 2>&1");
    EXPECT_EQ(drained.status, 0) << drained.output;
    EXPECT_EQ(drained.output.find(std::string(100, 'x')), std::string::npos);
}

TEST_F(Search, ConvertsBetweenTheStoresAndTheTerminal) {
    ASSERT_EQ(test::runCommand(std::string(TEXTFIND_BUILD_TOOL) + " --encoding UTF-8:CP1252 " +
                               DEMO_FOLDER + "/catalogue.tsv . >/dev/null")
                  .status,
              0);
    const test::Ran raw = searchTool("--any --selector MM Mémoires");
    EXPECT_EQ(raw.output, "0 records\n") << "the UTF-8 bytes are no word of a CP1252 store";
    const test::Ran shown = searchTool("--encoding CP1252 --any --selector MM Mémoires");
    EXPECT_EQ(shown.output,
              "1 records\nCarlo Goldoni, Mémoires (1787): memorie in francese della vita e del "
              "teatro dell'autore.\n");
    const test::Ran json = searchTool("--encoding CP1252 --json --any --selector MM Mémoires");
    EXPECT_EQ(test::parseJson(json.output)["texts"][0].text.substr(0, 24),
              "Carlo Goldoni, Mémoires");
}

}  // namespace
