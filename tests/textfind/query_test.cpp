// ScanDB against real Berkeley DB files written directly, including layouts
// the builder never writes.
#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <string>
#include <vector>

#include "btree_file.h"
#include "store_files.h"
#include "textfind.h"

namespace {

using namespace std::string_literals;
using test::Delivery;
using test::drain;
using test::Exports;
using test::Postings;
using test::postingsData;
using test::readFile;
using test::writeBtree;
using test::writeFile;

TEST_F(Exports, EmptyOrSeparatorOnlyQueryEmptiesTheSetButNeedsTheIndex) {
    index({{"CASA", {{1, "EE"}, {2, "EE"}}}});
    records();
    for (const char *query : {"", " ,.;:-+!%&/?()[]'\"\t"}) {
        ASSERT_EQ(ScanDB("casa", 1, "EE"), 2);
        EXPECT_EQ(ScanDB(query, 1, "EE"), 0) << '"' << query << '"';
        EXPECT_TRUE(drain().empty());
    }
    std::remove("opere.idb");
    EXPECT_EQ(ScanDB("", 1, "EE"), -2);
}

TEST_F(Exports, ModesAndStopWords) {
    index({{"CASA", {{3, "EE"}, {1, "EE"}, {5, "EE"}}},
           {"ROSSA", {{5, "EE"}, {2, "EE"}, {3, "EE"}}},
           {"ALBERO", {{4, "MM"}}},
           {"VUOTA", {}}});
    records();
    writeFile("noused.txt", "LA\r\nIL \r\nil\r\nE");
    struct Case {
        const char *query;
        int32_t mode;
        std::vector<Delivery> expected;
    } cases[] = {
        {"casa rossa", 1, textsOf({5, 3})},
        {"casa rossa", 0, textsOf({5, 3, 2, 1})},
        {"nessuna casa rossa", 1, {}},  // absent first word empties for good
        {"albero casa rossa", 1, {}},   // first word rejected by the selector
        {"vuota casa", 1, {}},          // a key with no postings
        {"casa nessuna", 1, {}},
        {"casa nessuna rossa", 2, textsOf({5, 3, 2, 1})},
        {"nessuna casa", 0, textsOf({5, 3, 1})},
        {"nessuna casa", -1, textsOf({5, 3, 1})},
        {"la casa", 1, textsOf({5, 3, 1})},  // a stop word is not the first word
        {"LA la La casa e rossa", 1, textsOf({5, 3})},
        {"casa casa rossa casa", 1, textsOf({5, 3})},  // repetition changes nothing
        {"casa casa rossa casa", 0, textsOf({5, 3, 2, 1})},
        {"il casa", 1, {}},  // "IL " and "il" stop nothing: IL is looked up
        {"cAsA,ROSSA", 1, textsOf({5, 3})},
    };
    for (const Case &c : cases) {
        const int32_t count = ScanDB(c.query, c.mode, "EE");
        EXPECT_EQ(count, static_cast<int32_t>(c.expected.size())) << c.query << " mode " << c.mode;
        EXPECT_EQ(drain(), c.expected) << c.query << " mode " << c.mode;
    }
}

TEST_F(Exports, AllStopWordsGiveAnEmptySet) {
    index({{"CASA", {{1, "EE"}}}});
    records();
    writeFile("noused.txt", "CASA\nDI\n");
    ASSERT_EQ(ScanDB("casa", 1, "EE"), 0);
    std::remove("noused.txt");  // read anew by every query; missing means none
    ASSERT_EQ(ScanDB("casa", 1, "EE"), 1);
    writeFile("noused.txt", "CASA\nDI\n");
    EXPECT_EQ(ScanDB("di casa, di", 0, "EE"), 0);
    EXPECT_TRUE(drain().empty());
}

TEST_F(Exports, RepeatedPostingsAreCountedAndMergedByMultiplicity) {
    index({{"DOPPIA", {{7, "EE"}, {7, "MM"}}}, {"SEMPLICE", {{7, "EE"}}}});
    records();
    EXPECT_EQ(ScanDB("doppia", 1, "EE;MM"), 2);
    EXPECT_EQ(drain(), textsOf({7, 7}));
    EXPECT_EQ(ScanDB("doppia semplice", 1, "EE;MM"), 1);
    EXPECT_EQ(drain(), textsOf({7}));
    EXPECT_EQ(ScanDB("doppia semplice", 0, "EE;MM"), 2);
    EXPECT_EQ(drain(), textsOf({7, 7}));
    EXPECT_EQ(ScanDB("semplice doppia", 0, "EE;MM"), 2);
    EXPECT_EQ(drain(), textsOf({7, 7}));
}

TEST_F(Exports, KeysMatchOnlyInNormalForm) {
    index({{"casa", {{1, "EE"}}},      // small letters: never found
           {"CITT\xE0", {{2, "EE"}}},  // accented small letter kept
           {"L", {{3, "EE"}}},
           {"ALBERO", {{4, "EE"}}},
           {"RIGA\nDUE", {{5, "EE"}}},
           {"\xC8"
            "\xE8",
            {{6, "EE"}}}});
    records();
    struct Case {
        const char *query;
        int32_t mode;
        std::vector<Delivery> expected;
    } cases[] = {
        {"casa", 0, {}},
        {"CASA", 0, {}},
        {"citt\xE0", 0, textsOf({2})},
        {"CITT\xC0", 0, {}},
        {"l'albero", 1, {}},  // two words, L and ALBERO, in different records
        {"l'albero", 0, textsOf({4, 3})},
        {"riga\ndue", 0, textsOf({5})},  // a line feed does not split
        {"riga due", 0, {}},
        {"\xC8\xE8", 0, textsOf({6})},
        {"\xE8\xC8", 0, {}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ScanDB(c.query, c.mode, "EE"), static_cast<int32_t>(c.expected.size()))
            << c.query;
        EXPECT_EQ(drain(), c.expected) << c.query;
    }
}

TEST_F(Exports, IndexDataLayouts) {
    std::string twenty = postingsData({{3, "EE"}, {1, "EE"}}) + "\x02\0\0\0"s;
    std::string shortItem = "\x09\0\0\0EE\0"s;
    writeBtree("opere.idb",
               {{"VENTI", twenty},
                {"CORTA", shortItem},
                {"SEGNI", postingsData({{-5, "EE"}, {3, "EE"}, {-1, "EE"}, {0, "EE"}})},
                {"CODICI",
                 postingsData(
                     {{1, "EE"}, {2, "MM"}, {3, "mM"}, {4, ""}, {5, "E"}, {6, "AB"}, {7, "mm"}})}});
    records({{-5, "meno cinque"}, {-1, "meno uno"}, {0, "zero"}});
    EXPECT_EQ(ScanDB("venti", 1, "EE"), 2);  // 20 bytes: two postings, 4 ignored
    EXPECT_EQ(drain(), textsOf({3, 1}));
    EXPECT_EQ(ScanDB("corta", 1, "EE"), 0);
    EXPECT_EQ(ScanDB("segni", 1, "EE"), 4);  // signed order, drained from the top
    EXPECT_EQ(drain(), (std::vector<Delivery>{
                           {1, "record 3"}, {1, "zero"}, {1, "meno uno"}, {1, "meno cinque"}}));
    struct Case {
        const char *selector;
        std::vector<Delivery> expected;
    } selectors[] = {
        {"**", textsOf({7, 6, 4, 3})},
        {"", textsOf({4, 3})},
        {"EE", textsOf({5, 4, 1})},
        {"MM", textsOf({7, 4, 3, 2})},
    };
    for (const auto &s : selectors) {
        EXPECT_EQ(ScanDB("codici", 1, s.selector), static_cast<int32_t>(s.expected.size()))
            << s.selector;
        EXPECT_EQ(drain(), s.expected) << s.selector;
    }
}

// Items of several 64 KiB pieces: trailing bytes after the last, and an
// order that only a look across a piece boundary shows to be broken.
TEST_F(Exports, ItemsLongerThanOnePieceAreReadWhole) {
    std::vector<std::pair<int32_t, std::string>> rising, falling, split;
    for (int32_t r = 1; r <= 20000; ++r) rising.push_back({r, r % 2 ? "AB" : "EE"});
    for (int32_t r = 20000; r >= 1; --r) falling.push_back({r, "AB"});
    for (int32_t r = 10001; r <= 18192; ++r) split.push_back({r, "AB"});  // one piece
    for (int32_t r = 1; r <= 8192; ++r) split.push_back({r, "AB"});
    writeBtree("opere.idb", {{"SALE", postingsData(rising) + "\x01\x02\x03"s},
                             {"SCENDE", postingsData(falling)},
                             {"BORDO", postingsData(split)}});
    records();
    struct Case {
        const char *query;
        int32_t mode;
        const char *selector;
        int32_t count;
    } cases[] = {
        {"sale", 1, "EE", 10000},
        {"sale", 1, "AB", 10000},
        {"sale scende", 1, "AB", 10000},
        {"scende bordo", 1, "AB", 16384},
        {"scende bordo", 0, "AB", 20000},
        {"bordo sale", 1, "**", 8192},  // odd records below 8193 and from 10001
    };
    for (const Case &c : cases)
        EXPECT_EQ(ScanDB(c.query, c.mode, c.selector), c.count) << c.query << " " << c.selector;
}

TEST_F(Exports, FailedIndexOpenKeepsThePreviousResultSet) {
    index({{"TRE", {{5, "EE"}, {9, "EE"}, {12, "EE"}}}});
    records();
    writeFile("noused.txt", "X\n");
    ASSERT_EQ(ScanDB("tre", 1, "EE"), 3);
    std::vector<char> buffer(16);
    ASSERT_EQ(ResSet(buffer.data()), 1);
    std::rename("opere.idb", "saved.idb");
    EXPECT_EQ(ScanDB("tre", 1, "EE"), -2);
    EXPECT_FALSE(test::fileExists("opere.idb"));
    EXPECT_EQ(drain(), textsOf({9, 5}));
}

TEST_F(Exports, MemoryExhaustionInScanDbReturnsMinusOneAndKeepsTheSet) {
    index({{"TRE", {{5, "EE"}, {9, "EE"}}}, {"DUE", {{9, "EE"}}}});
    records();
    ASSERT_EQ(ScanDB("tre", 0, "EE"), 2);
    {
        // Memory runs out in the second read of the index.
        test::StoreFaults store;
        store.faults.fail(textfind::StoreCall::Read, 2, ENOMEM, test::Repeat::ForGood);
        EXPECT_EQ(ScanDB("due tre", 0, "EE"), -1);
    }
    EXPECT_EQ(drain(), textsOf({9, 5}));
    EXPECT_EQ(ScanDB("due tre", 1, "EE"), 1);
}

}  // namespace
