// ScanDB, ResSet and FindDB against real Berkeley DB files written directly,
// including layouts the builder never writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "store.h"
#include "support.h"
#include "textfind.h"

namespace {

using namespace std::string_literals;
using test::Delivery;
using test::drain;
using test::postingsData;
using test::readFile;
using test::writeBtree;
using test::writeFile;
using test::writeRecordStore;

using Postings = std::vector<std::pair<int32_t, std::string>>;

class Exports : public ::testing::Test {
protected:
    void SetUp() override {
        ScanDB("", 1, "");  // a previous test in this process may have left entries
        textfind::dbCreateFunction = &db_create;
    }
    void TearDown() override { textfind::dbCreateFunction = &db_create; }

    void index(const std::vector<std::pair<std::string, Postings>> &words) {
        std::vector<std::pair<std::string, std::string>> items;
        for (const auto &[word, postings] : words) items.emplace_back(word, postingsData(postings));
        writeBtree("opere.idb", items);
    }
    // Records 1..20 with text "record N", plus the given ones.
    void records(std::map<int32_t, std::string> texts = {}) {
        for (int32_t r = 1; r <= 20; ++r) texts.emplace(r, "record " + std::to_string(r));
        writeRecordStore("opere.ddb", texts);
    }
    static std::vector<Delivery> textsOf(std::initializer_list<int32_t> numbers) {
        std::vector<Delivery> out;
        for (int32_t n : numbers) out.push_back({1, "record " + std::to_string(n)});
        return out;
    }

    test::ScratchFolder folder_;
};

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

TEST_F(Exports, ResSetDeliversFromTheTopAndFindDbLeavesTheSetAlone) {
    index({{"TRE", {{9, "EE"}, {12, "EE"}, {5, "EE"}}}});
    records();
    std::vector<char> buffer(64);
    ASSERT_EQ(ScanDB("tre", 1, "EE"), 3);
    ASSERT_EQ(ResSet(buffer.data()), 1);
    EXPECT_STREQ(buffer.data(), "record 12");
    ASSERT_EQ(FindDB(5, buffer.data()), 1);
    EXPECT_STREQ(buffer.data(), "record 5");
    EXPECT_EQ(FindDB(404, buffer.data()), -3);
    EXPECT_STREQ(buffer.data(), "record 5");  // untouched by the failed call
    ASSERT_EQ(ResSet(buffer.data()), 1);
    EXPECT_STREQ(buffer.data(), "record 9");
    ASSERT_EQ(ResSet(buffer.data()), 1);
    EXPECT_STREQ(buffer.data(), "record 5");
    EXPECT_EQ(ResSet(buffer.data()), 0);
    EXPECT_EQ(ResSet(buffer.data()), 0);
}

TEST_F(Exports, DeliveryWritesExactlyTextPlusNul) {
    writeBtree("opere.idb", {});
    records({{-7, "negativo"}, {40, ""}, {41, "0123456789"}, {42, "ab\0cd"s}});
    struct Case {
        int32_t record;
        std::size_t written;
        std::string bytes;
    } cases[] = {
        {41, 11, "0123456789\0"s}, {40, 1, "\0"s}, {-7, 9, "negativo\0"s}, {42, 6, "ab\0cd\0"s}};
    for (const Case &c : cases) {
        std::vector<char> buffer(32, '\x7F');
        ASSERT_EQ(FindDB(c.record, buffer.data()), 1) << c.record;
        EXPECT_EQ(std::string(buffer.data(), c.written), c.bytes) << c.record;
        for (std::size_t i = c.written; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], '\x7F') << c.record;
    }
}

TEST_F(Exports, NineByteTextUsesTheKeyAgainForItsLastByte) {
    writeBtree("opere.idb", {});
    // "ABCDEFGHI" scrambled by hand with 3B 9E 07 D4 61 A8 52 CF 3B.
    writeBtree("opere.ddb", {{"\x01\0\0\0"s, "\x7A\xDC\x44\x90\x24\xEE\x15\x87\x72"}});
    std::vector<char> buffer(16);
    ASSERT_EQ(FindDB(1, buffer.data()), 1);
    EXPECT_STREQ(buffer.data(), "ABCDEFGHI");
}

TEST_F(Exports, ResSetOnEmptySetOpensNothingAndTouchesNothing) {
    std::vector<char> buffer(8, '\x7F');
    EXPECT_EQ(ResSet(buffer.data()), 0);  // no store files at all
    EXPECT_EQ(buffer, std::vector<char>(8, '\x7F'));
}

TEST_F(Exports, MissingRecordIsSkippedWithMinusThree) {
    index({{"TRE", {{5, "EE"}, {9, "EE"}, {12, "EE"}, {33, "EE"}}}});
    records();  // no record 33
    ASSERT_EQ(ScanDB("tre", 1, "EE"), 4);
    EXPECT_EQ(drain(), (std::vector<Delivery>{
                           {-3, ""}, {1, "record 12"}, {1, "record 9"}, {1, "record 5"}}));
}

TEST_F(Exports, UnopenableRecordStoreKeepsTheEntry) {
    index({{"TRE", {{5, "EE"}, {9, "EE"}, {12, "EE"}}}});
    ASSERT_EQ(ScanDB("tre", 1, "EE"), 3);
    std::vector<char> buffer(16, '\x7F');
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ResSet(buffer.data()), -2);
    EXPECT_EQ(FindDB(5, buffer.data()), -2);
    EXPECT_EQ(buffer, std::vector<char>(16, '\x7F'));
    EXPECT_FALSE(test::fileExists("opere.ddb"));  // never created
    records();
    EXPECT_EQ(drain(), textsOf({12, 9, 5}));
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

TEST_F(Exports, ReadingChangesNoStoreFile) {
    index({{"TRE", {{5, "EE"}, {9, "EE"}}}});
    records();
    const std::string idb = readFile("opere.idb"), ddb = readFile("opere.ddb");
    ASSERT_EQ(ScanDB("tre", 1, "EE"), 2);
    drain();
    std::vector<char> buffer(16);
    FindDB(3, buffer.data());
    EXPECT_EQ(readFile("opere.idb"), idb);
    EXPECT_EQ(readFile("opere.ddb"), ddb);
}

int failingDbCreate(DB **, DB_ENV *, u_int32_t) { return ENOMEM; }

TEST_F(Exports, FailedHandleCreationReturnsMinusOneAndChangesNothing) {
    index({{"TRE", {{5, "EE"}, {9, "EE"}}}});
    records();
    ASSERT_EQ(ScanDB("tre", 1, "EE"), 2);
    std::vector<char> buffer(16, '\x7F');
    textfind::dbCreateFunction = &failingDbCreate;
    EXPECT_EQ(ScanDB("", 1, "EE"), -1);
    EXPECT_EQ(ResSet(buffer.data()), -1);
    EXPECT_EQ(FindDB(5, buffer.data()), -1);
    EXPECT_EQ(buffer, std::vector<char>(16, '\x7F'));
    std::remove("opere.idb");
    EXPECT_EQ(ScanDB("tre", 1, "EE"), -1);  // the handle comes before the file
    textfind::dbCreateFunction = &db_create;
    EXPECT_EQ(drain(), textsOf({9, 5}));
}

// Hands out real handles whose lookups run out of memory from the second on.
int lookupsBeforeExhaustion = 0;
decltype(DB::get) realGet = nullptr;
int exhaustingGet(DB *db, DB_TXN *txn, DBT *key, DBT *data, u_int32_t flags) {
    if (lookupsBeforeExhaustion-- <= 0) throw std::bad_alloc();
    return realGet(db, txn, key, data, flags);
}
int exhaustingDbCreate(DB **db, DB_ENV *env, u_int32_t flags) {
    const int rc = db_create(db, env, flags);
    if (rc == 0) {
        realGet = (*db)->get;
        (*db)->get = &exhaustingGet;
    }
    return rc;
}

TEST_F(Exports, MemoryExhaustionInScanDbReturnsMinusOneAndKeepsTheSet) {
    index({{"TRE", {{5, "EE"}, {9, "EE"}}}, {"DUE", {{9, "EE"}}}});
    records();
    ASSERT_EQ(ScanDB("tre", 0, "EE"), 2);
    textfind::dbCreateFunction = &exhaustingDbCreate;
    lookupsBeforeExhaustion = 1;
    EXPECT_EQ(ScanDB("due tre", 0, "EE"), -1);
    textfind::dbCreateFunction = &db_create;
    EXPECT_EQ(drain(), textsOf({9, 5}));
    EXPECT_EQ(ScanDB("due tre", 1, "EE"), 1);
}

TEST_F(Exports, NullArgumentsAreRefused) {
    index({{"TRE", {{5, "EE"}}}});
    records();
    ASSERT_EQ(ScanDB("tre", 1, "EE"), 1);
    EXPECT_EQ(ResSet(nullptr), -1);
    EXPECT_EQ(FindDB(5, nullptr), -1);
    EXPECT_EQ(drain(), textsOf({5}));
    EXPECT_EQ(ScanDB(nullptr, 1, "EE"), 0);  // read as empty strings
    EXPECT_EQ(ScanDB("tre", 1, nullptr), 0);
}

// Root reads any file, so the check runs in a child that has dropped to nobody.
TEST_F(Exports, UnreadableStoreFilesGiveMinusTwo) {
    index({{"TRE", {{5, "EE"}}}});
    records();
    ASSERT_EQ(::chmod(folder_.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod("opere.idb", 0), 0);
    ASSERT_EQ(::chmod("opere.ddb", 0), 0);
    const bool root = ::geteuid() == 0;
    if (!root) {
        const int fd = ::open("opere.idb", O_RDONLY);
        if (fd >= 0) {
            ::close(fd);
            GTEST_SKIP() << "this user reads files of mode 000";
        }
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
        char buffer[32];
        int failures = 0;
        if (ScanDB("tre", 1, "EE") != -2) failures |= 1;
        if (FindDB(5, buffer) != -2) failures |= 2;
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 10) GTEST_SKIP() << "root cannot change its user ids here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: ScanDB, 2: FindDB did not return -2";
}

}  // namespace
