// ResSet and FindDB against real Berkeley DB files written directly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "btree_file.h"
#include "format.h"
#include "result_set.h"
#include "scramble.h"
#include "store_files.h"
#include "stores.h"
#include "temp_dir.h"
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

// A record longer than the store's longest text can only come from damage:
// refused, buffer untouched. A damaged entry refuses every record.
TEST_F(Exports, TheLongestTextBoundsEveryDelivery) {
    struct Row {
        const char *name;
        std::optional<std::string> longest;  // data under the key; none: no key
        int32_t five, six;                   // FindDB of a 5- and a 6-byte text
    };
    const Row rows[] = {
        {"no entry: read as before", std::nullopt, 1, 1},
        {"longest 6", "\x06\0\0\0"s, 1, 1},
        {"longest 5", "\x05\0\0\0"s, 1, -3},
        {"longest 4", "\x04\0\0\0"s, -3, -3},
        {"a damaged entry", "\x06\0\0"s, -3, -3},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::pair<std::string, std::string>> items;
        for (const auto &[record, text] :
             std::map<int32_t, std::string>{{5, "cinqu"}, {6, "sechse"}}) {
            std::string scrambled = text;
            textfind::scrambleInPlace(scrambled);
            items.emplace_back(test::recordKey(record), scrambled);
        }
        if (row.longest) items.emplace_back("longest-text", *row.longest);
        writeBtree("opere.ddb", items);
        std::vector<char> buffer(16, '#');
        EXPECT_EQ(FindDB(5, buffer.data()), row.five);
        if (row.five != 1) {
            EXPECT_EQ(buffer, std::vector<char>(16, '#'));
        }
        buffer.assign(16, '#');
        EXPECT_EQ(FindDB(6, buffer.data()), row.six);
        if (row.six != 1) {
            EXPECT_EQ(buffer, std::vector<char>(16, '#'));
        }
    }
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

TEST_F(Exports, FailedHandleCreationReturnsMinusOneAndChangesNothing) {
    index({{"TRE", {{5, "EE"}, {9, "EE"}}}});
    records();
    ASSERT_EQ(ScanDB("tre", 1, "EE"), 2);
    std::vector<char> buffer(16, '\x7F');
    {
        test::StoreFaults store;
        store.faults.fail(textfind::StoreCall::Create, 1, ENOMEM, test::Repeat::ForGood);
        EXPECT_EQ(ScanDB("", 1, "EE"), -1);
        EXPECT_EQ(ResSet(buffer.data()), -1);
        EXPECT_EQ(FindDB(5, buffer.data()), -1);
        EXPECT_EQ(buffer, std::vector<char>(16, '\x7F'));
        std::remove("opere.idb");
        EXPECT_EQ(ScanDB("tre", 1, "EE"), -1);  // the handle comes before the file
    }
    EXPECT_EQ(drain(), textsOf({9, 5}));
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

// ResSet reads ahead through the handle of the calls that open the record
// store, and delivers from memory while the pair's files keep their stamps:
// whatever happens to the files between two calls, every answer is the one
// the path that reads nothing ahead gives.
TEST(ReadAhead, EveryAnswerIsTheOneOfThePathThatReadsNothingAhead) {
    auto catalogue = [](const std::string &prefix) {
        std::vector<textfind::build::CatalogueRecord> records;
        for (int32_t r = 1; r <= 3000; ++r)
            records.push_back({r, "AB",
                               prefix + " numero " + std::to_string(r) +
                                   std::string(static_cast<std::size_t>(r % 7), '.')});
        return records;
    };
    test::TempDir other;
    textfind::build::writeStores(catalogue("altro"), other.path());
    const std::string otherRecords = other.file("opere.ddb");
    auto copyIn = [](const std::string &from, const char *to) {
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    };
    // Another writer's record store without records 2990 and 2950, and with
    // the leaf of record 2900 zero-filled.
    auto damaged = [] {
        std::filesystem::remove("opere.sum");
        auto items = test::readBtreeItems("opere.ddb");
        std::erase_if(items, [](const auto &item) {
            return item.first == test::recordKey(2990) || item.first == test::recordKey(2950);
        });
        writeBtree("opere.ddb", items);
        std::string bytes = readFile("opere.ddb");
        for (const test::PageSeen &page : test::pagesOf(bytes)) {
            const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(page.number * 4096);
            if (page.type == textfind::kLeafPage &&
                std::string(first, first + 4096).find(test::recordKey(2900)) != std::string::npos)
                std::fill_n(first, 4096, '\0');
        }
        writeFile("opere.ddb", bytes);
    };
    struct Row {
        const char *name;
        std::function<void()> before, between;
        textfind::ReadAheadLimits limits{};
    };
    const Row rows[] = {
        {"nothing changes", [] {}, [] {}},
        {"the cap in records reached", [] {}, [] {}, {3, 4u << 20}},
        {"the cap in bytes reached", [] {}, [] {}, {1024, 100}},
        {"the record store replaced by a rename", [] {},
         [&] {
             copyIn(otherRecords, "replacement");
             std::filesystem::rename("replacement", "opere.ddb");
         }},
        {"the record store edited in place, no proof", [] { std::filesystem::remove("opere.sum"); },
         [&] { writeFile("opere.ddb", readFile(otherRecords)); }},
        {"the record store edited in place, under the proof", [] {},
         [&] { writeFile("opere.ddb", readFile(otherRecords)); }},
        {"the record store deleted", [] {}, [] { std::remove("opere.ddb"); }},
        {"a mixed pair", [] {}, [&] { copyIn(otherRecords, "opere.ddb"); }},
        {"a ScanDB between", [] {}, [] { ScanDB("numero 7", 1, "**"); }},
        {"a FindDB between", [] {},
         [] {
             std::vector<char> buffer(64);
             FindDB(3, buffer.data());
         }},
        {"missing records and a page not sound in the batch", damaged, [] {}},
    };
    const textfind::ReadAheadLimits usual = textfind::readAheadLimits;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<Delivery> answers[2];
        for (int reading = 0; reading < 2; ++reading) {
            test::ScratchFolder folder;
            textfind::build::writeStores(catalogue("testo"), ".");
            row.before();
            textfind::readAheadLimits = reading == 1 ? row.limits : textfind::ReadAheadLimits{0, 0};
            ASSERT_EQ(ScanDB("numero", 1, "**"), 3000);
            answers[reading] = drain(40);
            row.between();
            const std::vector<Delivery> rest = drain(4000);
            answers[reading].insert(answers[reading].end(), rest.begin(), rest.end());
            ScanDB("", 1, "");
        }
        textfind::readAheadLimits = usual;
        EXPECT_EQ(answers[1], answers[0]);
        EXPECT_GE(answers[0].size(), 41u);
    }
}

}  // namespace
