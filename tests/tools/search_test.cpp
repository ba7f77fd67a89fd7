// textfind-search against the exports it calls, on the demo stores.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
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
        const test::JsonValue answer = test::parseJson(ran.output);
        const int32_t count = ScanDB(row.query, row.any ? 0 : 1, row.selector);
        ASSERT_EQ(ran.status, count == 0 ? 1 : 0) << ran.output;
        const std::vector<test::Delivery> texts = test::drain();
        EXPECT_EQ(answer["count"].integer(), count);
        ASSERT_EQ(answer["texts"].items.size(), texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(answer["texts"][i].text, texts[i].text);
        EXPECT_EQ(answer["mode"].text, row.any ? "any" : "all");
    }
}

TEST_F(Search, CountsLimitsRecordsAndFailuresInWords) {
    EXPECT_EQ(searchTool("--any --count Venezia Napoli").output,
              "7 records\n  the selector \"**\" leaves out the EE and MM categories, 2 more "
              "records: --selector '**EE;MM' finds 9 records\n");
    const test::Ran limited = searchTool("--any --limit 2 Venezia Napoli");
    EXPECT_EQ(std::count(limited.output.begin(), limited.output.end(), '\n'), 4);
    const test::Ran record = searchTool("--record 171");
    EXPECT_EQ(record.status, 0);
    EXPECT_EQ(record.output.rfind("Carlo Goldoni, Mémoires", 0), 0u) << record.output;
    const test::Ran missing = searchTool("--record 9999 2>&1");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("the record is not in the store"), std::string::npos);
    std::remove("opere.idb");
    const test::Ran noIndex = searchTool("casa 2>&1");
    EXPECT_EQ(noIndex.status, 3);
    EXPECT_NE(noIndex.output.find("holds no stores (no opere.idb)"), std::string::npos);
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

// Another writer's stores with a page zero-filled, each page in turn: the
// command reads them only as the library does, so it answers or says it
// cannot, and never hangs inside Berkeley DB (as it did sizing its buffer).
TEST(SearchDamaged, EveryZeroFilledPageIsAnsweredOrRefused) {
    test::ScratchFolder folder;
    std::string catalogue;
    for (int r = 1; r <= 3000; ++r)
        catalogue += std::to_string(r) + "\tAB\tcasa numero " + std::to_string(r) + " " +
                     std::string(static_cast<std::size_t>(r % 50), 'x') + "\n";
    test::writeFile("c.tsv", catalogue);
    ASSERT_EQ(test::runCommand(std::string(TEXTFIND_BUILD_TOOL) + " c.tsv . >/dev/null").status, 0);
    std::remove("opere.sum");
    for (const char *store : {"opere.ddb", "opere.idb"}) {
        const std::string sound = test::readFile(store);
        const std::size_t page = textfind::readU32(
            reinterpret_cast<const unsigned char *>(sound.data()) + textfind::kMetaPageSizeOffset);
        for (std::size_t at = page; at < sound.size(); at += page) {
            SCOPED_TRACE(std::string(store) + " page " + std::to_string(at / page));
            std::string damaged = sound;
            std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), page, '\0');
            test::writeFile(store, damaged);
            // timeout: a hang fails the row instead of the whole run.
            const test::Ran ran = test::runCommand(
                "timeout 60 " + std::string(TEXTFIND_SEARCH_TOOL) + " --limit 3 numero 2>&1");
            EXPECT_TRUE(ran.status == 0 || ran.status == 1 || ran.status == 3)
                << ran.status << ": " << ran.output;
        }
        test::writeFile(store, sound);
    }
}

// What the command says of each thing a user gets wrong or wonders about,
// and how it ends.
TEST_F(Search, SaysWhyAndWhatToDoInWords) {
    std::filesystem::create_directory("empty");
    struct Row {
        const char *finding;
        std::string arguments;
        int status;
        std::vector<std::string> words;
    };
    const Row rows[] = {
        {"run outside the stores' folder",
         "--folder empty casa",
         3,
         {"empty holds no stores (no opere.idb): give the stores' folder with --folder"}},
        {"a folder that is not there", "--folder nope casa", 3, {"no folder nope"}},
        {"stop words and words no record holds",
         "--any il zzzqqq",
         1,
         {"0 records", "stop words, not looked up: il", "no record holds: zzzqqq"}},
        {"what \"**\" leaves out",
         "divina commedia",
         1,
         {"0 records", "the selector \"**\" leaves out the EE and MM categories",
          "--selector '**EE;MM' finds 1 record"}},
        {"one record", "--selector EE divina commedia", 0, {"1 record\n"}},
        {"what an explicit selector leaves out",
         "--any --selector PO Venezia Napoli",
         0,
         {"the selector \"PO\" leaves out", "--selector '**EE;MM' finds 9 records"}},
        {"a selector that matches none of the codes",
         "--selector ee divina commedia",
         1,
         {"0 records", "the selector \"ee\" leaves out 1 more record",
          "the records that hold the words are of the categories EE"}},
        {"a record number past 32 bits",
         "--record 99999999999",
         2,
         {"--record: a record number (a signed 32-bit integer), not 99999999999",
          "(try textfind-search --help)"}},
        {"an unknown option",
         "--bogus casa",
         2,
         {"textfind-search: unknown option --bogus (try textfind-search --help)"}},
        {"no query", "--any", 2, {"no query given"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.finding);
        const test::Ran ran = searchTool(row.arguments + " 2>&1");
        EXPECT_EQ(ran.status, row.status) << ran.output;
        for (const std::string &words : row.words)
            EXPECT_NE(ran.output.find(words), std::string::npos) << words << "\n" << ran.output;
        if (row.status == 2) {
            EXPECT_EQ(std::count(ran.output.begin(), ran.output.end(), '\n'), 1) << ran.output;
        }
    }
}

// Each text's record number, from the library's query code: the text the
// exports deliver for that number is the text shown beside it.
TEST_F(Search, NumbersAreTheRecordsTheExportsDeliver) {
    for (const char *query :
         {"--any Venezia Napoli", "--selector '**EE;MM' --any memorie scuola"}) {
        SCOPED_TRACE(query);
        const test::Ran ran = searchTool(std::string("--numbers ") + query);
        ASSERT_EQ(ran.status, 0) << ran.output;
        std::istringstream lines(ran.output);
        std::string line;
        std::getline(lines, line);  // the count
        std::size_t shown = 0;
        std::vector<char> buffer(4096);
        while (std::getline(lines, line)) {
            if (line.starts_with("  ")) continue;  // what the selector left out
            const std::size_t tab = line.find('\t');
            ASSERT_NE(tab, std::string::npos) << line;
            ASSERT_EQ(FindDB(std::stoi(line.substr(0, tab)), buffer.data()), 1) << line;
            EXPECT_EQ(line.substr(tab + 1), std::string(buffer.data()));
            ++shown;
        }
        EXPECT_GT(shown, 1u);
    }
}

// The query's words are marked on a terminal or when asked, never in a pipe.
TEST_F(Search, MarksTheQuerysWordsOnlyWhereAsked) {
    EXPECT_EQ(searchTool("--selector EE divina commedia").output.find("\x1b["), std::string::npos);
    const test::Ran always = searchTool("--color=always --selector EE divina commedia");
    EXPECT_NE(always.output.find("\x1b[1mCommedia\x1b[0m"), std::string::npos) << always.output;
    EXPECT_EQ(searchTool("--color never --selector EE divina commedia").output.find("\x1b["),
              std::string::npos);
}

TEST_F(Search, ConvertsBetweenTheStoresAndTheTerminal) {
    ASSERT_EQ(test::runCommand(std::string(TEXTFIND_BUILD_TOOL) + " --encoding UTF-8:CP1252 " +
                               DEMO_FOLDER + "/catalogue.tsv . >/dev/null")
                  .status,
              0);
    const test::Ran raw = searchTool("--any --selector MM Mémoires");
    EXPECT_EQ(raw.output.rfind("0 records\n  no record holds: M", 0), 0u)
        << "the UTF-8 bytes are no word of a CP1252 store: " << raw.output;
    const test::Ran shown = searchTool("--encoding CP1252 --any --selector MM Mémoires");
    EXPECT_EQ(shown.output,
              "1 record\nCarlo Goldoni, Mémoires (1787): memorie in francese della vita e del "
              "teatro dell'autore.\n");
    const test::Ran json = searchTool("--encoding CP1252 --json --any --selector MM Mémoires");
    EXPECT_EQ(test::parseJson(json.output)["texts"][0].text.substr(0, 24),
              "Carlo Goldoni, Mémoires");
}

}  // namespace
