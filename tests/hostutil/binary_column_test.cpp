// LoadBin / SaveBin against the SQLite3 ODBC driver and psqlODBC talking to a
// real PostgreSQL server.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binary_column.h"
#include "destination_cases.h"
#include "hostutil.h"
#include "odbc_session.h"
#include "platform/platform.h"
#include "platform_double.h"
#include "small_filesystem.h"

namespace {

using namespace test;
namespace bc = hostutil::binary_column;

constexpr std::size_t kMiB = 1024 * 1024;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The native platform, but for the allocations its faults fail; the native
// one is back however a test ends.
struct FailingAllocations {
    explicit FailingAllocations(int nth, Repeat repeat = Repeat::Once) {
        platform.faults.fail(Operation::Allocate, nth, ENOMEM, repeat);
        hostutil::platform::install(&platform);
    }
    ~FailingAllocations() { hostutil::platform::install(nullptr); }
    ForwardingPlatform platform{hostutil::platform::native()};
};

class BinaryColumnTest : public ::testing::TestWithParam<const Driver *> {
protected:
    void SetUp() override {
        session_ = std::make_unique<Session>(*GetParam());
        ASSERT_TRUE(session_->connected()) << session_->error();
        table_ = "bin_" + std::to_string(getpid());
        session_->exec("DROP TABLE IF EXISTS " + table_);
        run("CREATE TABLE {t} (id INTEGER PRIMARY KEY, data " + GetParam()->blobType +
            ", note TEXT)");
        statementsAtStart_ = liveStatements();
    }

    void TearDown() override {
        EXPECT_EQ(statementsAtStart_, liveStatements()) << "a statement was left behind";
        if (session_ && session_->connected()) session_->exec("DROP TABLE " + table_);
    }

    SQLHDBC dbc() const { return session_->connection(); }

    // `text` with {t} standing for this test's table.
    std::string sql(std::string text) const {
        for (auto at = text.find("{t}"); at != std::string::npos; at = text.find("{t}"))
            text.replace(at, 3, table_);
        return text;
    }

    void run(const std::string &text) {
        if (auto failure = session_->exec(sql(text))) FAIL() << *failure;
    }

    void insertRow(int id, const std::optional<Bytes> &value, const std::string &note = "") {
        const std::string into =
            "INSERT INTO {t} (id, data, note) VALUES (" + std::to_string(id) + ", ";
        const std::string rest = ", '" + note + "')";
        if (value) {
            if (auto failure = session_->execWithValue(sql(into + "?" + rest), *value))
                FAIL() << *failure;
        } else {
            run(into + "NULL" + rest);
        }
    }

    std::optional<Bytes> stored(int id, bool *found = nullptr) {
        return session_->queryValue(sql("SELECT data FROM {t} WHERE id = " + std::to_string(id)),
                                    found);
    }

    int32_t load(const std::string &text, const std::string &path) {
        return bc::loadFile(dbc(), sql(text).c_str(), path.c_str());
    }

    int32_t save(const std::string &text, const std::string &path) {
        return bc::saveFile(dbc(), sql(text).c_str(), path.c_str());
    }

    std::unique_ptr<Session> session_;
    std::string table_;
    int64_t statementsAtStart_ = 0;
    TempDir files_;
};

// ---- Round trips ---------------------------------------------------------

TEST_P(BinaryColumnTest, RoundTripsAreByteIdentical) {
    const struct {
        const char *name;
        Bytes data;
    } cases[] = {
        {"one NUL byte", {0x00}},
        {"one 0x1A byte", {0x1A}},
        {"one 0xFF byte", {0xFF}},
        {"CR LF only", {'\r', '\n'}},
        {"every byte value once", pattern(256, 0)},
        {"text-looking with bare LF, CR LF and 0x1A", {'a', '\n', 'b', '\r', '\n', 0x1A, 'c', 0}},
        {"1 MiB", pattern(kMiB, 7)},
        {"1 MiB plus one", pattern(kMiB + 1, 9)},
    };
    int id = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ++id;
        insertRow(id, std::nullopt);
        const std::string in = files_.file("in" + std::to_string(id));
        const std::string out = files_.file("out" + std::to_string(id));
        writeBytes(in, c.data);
        const std::string where = " WHERE id = " + std::to_string(id);

        ASSERT_EQ(0, LoadBin(dbc(), sql("UPDATE {t} SET data = ?" + where).c_str(), in.c_str()));
        EXPECT_EQ(c.data, stored(id)) << "the stored value differs from the file";
        ASSERT_EQ(0, SaveBin(dbc(), sql("SELECT data FROM {t}" + where).c_str(), out.c_str()));
        EXPECT_EQ(c.data, readBytes(out)) << "the saved file differs from the original";
    }
}

TEST_P(BinaryColumnTest, EmptyFileIsStoredAsEmptyValueThatSaveBinRefuses) {
    const std::string in = files_.file("empty");
    const std::string out = files_.file("out");
    writeBytes(in, {});
    insertRow(1, Bytes{1, 2, 3});

    const int64_t putsBefore = putDataCalls();
    ASSERT_EQ(0, LoadBin(dbc(), sql("UPDATE {t} SET data = ? WHERE id = 1").c_str(), in.c_str()));
    EXPECT_EQ(1, putDataCalls() - putsBefore) << "one SQLPutData, of length 0";
    bool found = false;
    const auto value = stored(1, &found);
    ASSERT_TRUE(found);
    ASSERT_TRUE(value.has_value()) << "an empty file must not become NULL";
    EXPECT_TRUE(value->empty());

    // An empty value leaves nothing to size a buffer by.
    EXPECT_EQ(-5, SaveBin(dbc(), sql("SELECT data FROM {t} WHERE id = 1").c_str(), out.c_str()));
    EXPECT_FALSE(fileExists(out));
}

TEST_P(BinaryColumnTest, LoadBinInsertsNewRow) {
    const Bytes data = pattern(5000, 3);
    const std::string in = files_.file("in");
    writeBytes(in, data);
    ASSERT_EQ(0, load("INSERT INTO {t} (id, data) VALUES (42, ?)", in));
    EXPECT_EQ(data, stored(42));
}

// ---- SaveBin over several rows and none ---------------------------------

TEST_P(BinaryColumnTest, SaveBinLeavesTheLastRowsValue) {
    // Longest first, so a file that is not truncated on each row shows.
    const Bytes first = pattern(3000, 1), second = pattern(2000, 2), third = pattern(5, 3);
    insertRow(1, first);
    insertRow(2, second);
    insertRow(3, third);
    const std::string out = files_.file("out");
    ASSERT_EQ(0, save("SELECT data FROM {t} ORDER BY id", out));
    EXPECT_EQ(third, readBytes(out));
}

TEST_P(BinaryColumnTest, SaveBinWithoutRowsNeitherCreatesNorTruncates) {
    const std::string existing = files_.file("existing");
    const std::string absent = files_.file("absent");
    const Bytes kept = {'k', 'e', 'p', 't', '\r', '\n'};
    writeBytes(existing, kept);
    insertRow(1, Bytes{9, 9, 9});

    EXPECT_EQ(0, save("SELECT data FROM {t} WHERE id = 2", existing));
    EXPECT_EQ(kept, readBytes(existing));
    EXPECT_EQ(0, save("SELECT data FROM {t} WHERE id = 2", absent));
    EXPECT_FALSE(fileExists(absent));
    // A statement without a result set fetches nothing either.
    EXPECT_EQ(0, save("UPDATE {t} SET note = 'x' WHERE id = 1", absent));
    EXPECT_FALSE(fileExists(absent));
}

// ---- SaveBin failures ----------------------------------------------------

TEST_P(BinaryColumnTest, SaveBinFailuresLeaveTheFileAlone) {
    insertRow(1, std::nullopt, "plain text");
    insertRow(2, Bytes{});
    insertRow(3, pattern(100, 5));
    const Bytes kept = {'o', 'l', 'd'};
    const struct {
        const char *name;
        std::string query;
        int32_t expected;
    } cases[] = {
        {"NULL value", "SELECT data FROM {t} WHERE id = 1", -5},
        {"empty value", "SELECT data FROM {t} WHERE id = 2", -5},
        {"text column", "SELECT note FROM {t} WHERE id = 1", -4},
        {"unknown table", "SELECT data FROM no_such_table_here", -3},
        {"syntax error", "SELEC data FROM {t}", -3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string existing = files_.file("existing");
        const std::string absent = files_.file("absent");
        writeBytes(existing, kept);
        EXPECT_EQ(c.expected, save(c.query, existing));
        EXPECT_EQ(kept, readBytes(existing));
        EXPECT_EQ(c.expected, save(c.query, absent));
        EXPECT_FALSE(fileExists(absent));
    }
}

TEST_P(BinaryColumnTest, SaveBinToMissingFolderGivesMinusSix) {
    insertRow(1, pattern(10, 1));
    const std::string out = files_.file("no-such-folder/out");
    EXPECT_EQ(-6, save("SELECT data FROM {t} WHERE id = 1", out));
    EXPECT_FALSE(fileExists(files_.file("no-such-folder")));
}

TEST_P(BinaryColumnTest, SaveBinReportsAWriteThatFallsShort) {
    if (!fileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    insertRow(1, pattern(10, 1));
    EXPECT_EQ(-6, save("SELECT data FROM {t} WHERE id = 1", "/dev/full"));
}

// The value replaces the file only when complete: a full disk leaves the
// earlier file whole.
TEST_P(BinaryColumnTest, SaveBinOntoAFullDiskKeepsTheEarlierFile) {
    test::SmallFilesystem small;
    const Bytes earlier = pattern(20000, 3);
    const std::string out = small.file("out");
    writeBytes(out, earlier);
    insertRow(1, pattern(200000, 4));
    EXPECT_EQ(-6, small.whileFull([&] { return save("SELECT data FROM {t} WHERE id = 1", out); }))
        << small.kind();
    EXPECT_EQ(earlier, readBytes(out));
}

// The file is opened as a plain open for writing would open it: the
// caller's rights, the file's identity, pipes and devices as they are. The
// values are stored first; each case's child reads one through the
// connection it inherits.
TEST(SaveBinDestinations, ReachEachAsAPlainOpenForWritingWould) {
    Session session(sqliteDriver());
    ASSERT_TRUE(session.connected()) << session.error();
    ASSERT_FALSE(session.exec("CREATE TABLE destinations (content BLOB)"));
    for (const std::string &content : destinationContents())
        ASSERT_FALSE(session.execWithValue("INSERT INTO destinations VALUES (?)",
                                           Bytes(content.begin(), content.end())));
    test::checkDestinationCases(
        {[&](const std::string &destination, const std::string &content) {
             const std::string query = "SELECT content FROM destinations WHERE length(content) = " +
                                       std::to_string(content.size());
             return SaveBin(session.connection(), query.c_str(), destination.c_str());
         },
         HOSTUTIL_SAVE_DONE, HOSTUTIL_SAVE_FILE_UNWRITABLE});
}

TEST_P(BinaryColumnTest, FailureOnALaterRowKeepsTheEarlierRowsFile) {
    const Bytes first = pattern(700, 4);
    insertRow(1, first);
    insertRow(2, std::nullopt);
    insertRow(3, pattern(50, 6));
    const std::string out = files_.file("out");
    EXPECT_EQ(-5, save("SELECT data FROM {t} ORDER BY id", out));
    EXPECT_EQ(first, readBytes(out));
}

// ---- LoadBin failures and non-failures ----------------------------------

TEST_P(BinaryColumnTest, LoadBinUnreadableFileGivesMinusThreeAndNeverPrepares) {
    const Bytes original = {1, 2, 3};
    insertRow(1, original);
    std::vector<std::pair<const char *, std::string>> cases = {
        {"missing file", files_.file("missing")},
        {"a folder", files_.path()},
    };
    // Reports a 4096-byte length but yields a few bytes: a short read.
    if (fileExists("/sys/devices/system/cpu/online"))
        cases.push_back({"short read", "/sys/devices/system/cpu/online"});
    for (const auto &[name, path] : cases) {
        SCOPED_TRACE(name);
        const int64_t callsBefore = odbcCalls();
        EXPECT_EQ(-3, load("UPDATE {t} SET data = ? WHERE id = 1", path));
        // SQLAllocHandle and SQLFreeStmt only.
        EXPECT_EQ(2, odbcCalls() - callsBefore);
        EXPECT_EQ(original, stored(1));
    }
    EXPECT_EQ(-3,
              bc::loadFile(dbc(), sql("UPDATE {t} SET data = ? WHERE id = 1").c_str(), nullptr));
}

TEST_P(BinaryColumnTest, LoadBinUnpreparableStatementGivesMinusFour) {
    const std::string in = files_.file("in");
    writeBytes(in, pattern(64, 1));
    insertRow(1, Bytes{7});
    // The SQLite3 driver compiles a query when it is prepared (other
    // statements wait for execution); psqlODBC defers nearly everything to
    // execution, but refuses a write on a read-only connection at once.
    const bool server = GetParam()->needsServer;
    Session prepareSide(*GetParam(), server ? "ReadOnly=1;" : "");
    ASSERT_TRUE(prepareSide.connected()) << prepareSide.error();
    const std::string statement =
        server ? sql("UPDATE {t} SET data = ? WHERE id = 1") : "SELECT ? FROM no_such_table_here";
    EXPECT_EQ(-4, bc::loadFile(prepareSide.connection(), statement.c_str(), in.c_str()));
    EXPECT_EQ(-4, bc::loadFile(dbc(), nullptr, in.c_str()));
    EXPECT_EQ(Bytes{7}, stored(1));
}

TEST_P(BinaryColumnTest, LoadBinReportsAStatementThatDidNotRun) {
    const Bytes original = {1, 2, 3};
    insertRow(1, original);
    const std::string in = files_.file("in");
    writeBytes(in, pattern(300, 2));
    // Duplicate primary key.
    EXPECT_EQ(-5, load("INSERT INTO {t} (id, data) VALUES (1, ?)", in));
    EXPECT_EQ(original, stored(1));
    // NOT NULL on a column the statement leaves out.
    run("CREATE TABLE {t}_strict (id INTEGER PRIMARY KEY, data " + GetParam()->blobType +
        ", note TEXT NOT NULL)");
    EXPECT_EQ(-5, load("INSERT INTO {t}_strict (id, data) VALUES (1, ?)", in));
    bool found = true;
    session_->queryValue(sql("SELECT data FROM {t}_strict"), &found);
    EXPECT_FALSE(found);
    run("DROP TABLE {t}_strict");
    // A statement that ran and touched no row did run.
    EXPECT_EQ(0, load("UPDATE {t} SET data = ? WHERE id = 99", in));
}

TEST_P(BinaryColumnTest, LoadBinWithoutParameterMarkerExecutesWithoutSendingData) {
    insertRow(1, Bytes{1});
    const std::string in = files_.file("in");
    writeBytes(in, pattern(10, 1));
    const int64_t putsBefore = putDataCalls();
    EXPECT_EQ(0, load("UPDATE {t} SET note = 'touched' WHERE id = 1", in));
    EXPECT_EQ(putsBefore, putDataCalls());
    EXPECT_EQ((Bytes{'t', 'o', 'u', 'c', 'h', 'e', 'd'}),
              session_->queryValue(sql("SELECT note FROM {t} WHERE id = 1")));
}

// ---- Memory that cannot be had ------------------------------------------

TEST_P(BinaryColumnTest, LoadBinBufferThatCannotBeAllocatedGivesMinusThree) {
    const Bytes original = {5, 5};
    insertRow(1, original);
    const Bytes fits = pattern(1000, 1), tooLarge = pattern(1001, 2);
    const std::string in = files_.file("in");
    {
        FailingAllocations noMemory(1);
        writeBytes(in, tooLarge);
        const int64_t callsBefore = odbcCalls();
        EXPECT_EQ(-3, load("UPDATE {t} SET data = ? WHERE id = 1", in));
        EXPECT_EQ(2, odbcCalls() - callsBefore) << "nothing may be prepared or executed";
        EXPECT_EQ(original, stored(1));

        writeBytes(in, fits);
        EXPECT_EQ(0, load("UPDATE {t} SET data = ? WHERE id = 1", in));
        EXPECT_EQ(fits, stored(1));
    }
}

TEST_P(BinaryColumnTest, SaveBinBufferThatCannotBeAllocatedGivesMinusFour) {
    const Bytes fits = pattern(1000, 1), tooLarge = pattern(1001, 2);
    insertRow(1, fits);
    insertRow(2, tooLarge);
    const Bytes kept = {'o', 'l', 'd'};
    const std::string out = files_.file("out");
    writeBytes(out, kept);
    {
        FailingAllocations noMemory(1);
        EXPECT_EQ(-4, save("SELECT data FROM {t} WHERE id = 2", out));
        EXPECT_EQ(kept, readBytes(out));
    }
    {
        // The first row is written before the second one fails.
        FailingAllocations noMemory(2);
        EXPECT_EQ(-4, save("SELECT data FROM {t} ORDER BY id", out));
        EXPECT_EQ(fits, readBytes(out));
    }
}

// ---- No growth over many calls ------------------------------------------

TEST_P(BinaryColumnTest, TenThousandCallsLeaveNothingBehind) {
    const Bytes data = pattern(2048, 8);
    const std::string in = files_.file("in");
    const std::string out = files_.file("out");
    writeBytes(in, data);
    insertRow(1, std::nullopt);
    const std::string update = sql("UPDATE {t} SET data = ? WHERE id = 1");
    const std::string select = sql("SELECT data FROM {t} WHERE id = 1");
    auto round = [&](int times) {
        for (int i = 0; i < times; ++i) {
            ASSERT_EQ(0, bc::loadFile(dbc(), update.c_str(), in.c_str()));
            ASSERT_EQ(0, bc::saveFile(dbc(), select.c_str(), out.c_str()));
        }
    };
    round(500);  // let the driver and the allocator settle
    const int64_t statements = liveStatements();
    const int descriptors = openDescriptors();
    const std::size_t resident = residentBytes();
    round(10000);
    EXPECT_EQ(statements, liveStatements());
    EXPECT_EQ(descriptors, openDescriptors());
    EXPECT_EQ(data, readBytes(out));
    // Under the sanitizer freed memory sits in quarantine, so the resident
    // size says nothing there; its leak checker covers the same ground.
    if (!kSanitized) {
        EXPECT_LT(residentBytes(), resident + 4 * kMiB) << "resident memory grew over 10,000 calls";
    }
}

// ---- 100 MiB -------------------------------------------------------------

TEST_P(BinaryColumnTest, LargeRoundTrip) {
    const Bytes data = pattern(100 * kMiB, 11);
    const std::string in = files_.file("in");
    const std::string out = files_.file("out");
    writeBytes(in, data);
    ASSERT_EQ(0,
              LoadBin(dbc(), sql("INSERT INTO {t} (id, data) VALUES (1, ?)").c_str(), in.c_str()));
    ASSERT_EQ(0, SaveBin(dbc(), sql("SELECT data FROM {t} WHERE id = 1").c_str(), out.c_str()));
    const Bytes back = readBytes(out);
    ASSERT_EQ(data.size(), back.size());
    EXPECT_TRUE(data == back) << "100 MiB round trip differs";
}

std::string driverName(const ::testing::TestParamInfo<const Driver *> &info) {
    return info.param->name;
}

INSTANTIATE_TEST_SUITE_P(Drivers, BinaryColumnTest,
                         ::testing::Values(&sqliteDriver(), &postgresDriver()), driverName);

// ---- Handles -------------------------------------------------------------

class ConnectionHandleTest : public ::testing::Test {
protected:
    TempDir files_;
};

TEST_F(ConnectionHandleTest, NullConnectionMakesNoOdbcCall) {
    const std::string in = files_.file("in");
    const std::string out = files_.file("out");
    writeBytes(in, {1, 2, 3});
    const int64_t callsBefore = odbcCalls();
    EXPECT_EQ(-1, LoadBin(nullptr, "INSERT INTO t VALUES (?)", in.c_str()));
    EXPECT_EQ(-1, SaveBin(nullptr, "SELECT 1", out.c_str()));
    EXPECT_EQ(-1, LoadBin(nullptr, nullptr, nullptr));
    EXPECT_EQ(-1, SaveBin(nullptr, nullptr, nullptr));
    EXPECT_EQ(callsBefore, odbcCalls());
    EXPECT_FALSE(fileExists(out));
}

TEST_F(ConnectionHandleTest, HandlesTheDriverManagerRejectsGiveMinusTwo) {
    Session session(sqliteDriver());
    ASSERT_TRUE(session.connected()) << session.error();
    ASSERT_EQ(std::nullopt, session.exec("CREATE TABLE IF NOT EXISTS h (data BLOB)"));

    SQLHSTMT statement = SQL_NULL_HSTMT;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, session.connection(), &statement)));
    SQLHDBC unconnected = SQL_NULL_HDBC;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, session.environment(), &unconnected)));
    SQLHDBC freed = SQL_NULL_HDBC;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, session.environment(), &freed)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFreeHandle(SQL_HANDLE_DBC, freed)));

    const std::string in = files_.file("in");
    const std::string out = files_.file("out");
    writeBytes(in, {1, 2, 3});
    const struct {
        const char *name;
        SQLHANDLE handle;
    } cases[] = {
        {"environment handle", session.environment()},
        {"statement handle", statement},
        {"connection not connected", unconnected},
        {"freed connection", freed},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const int64_t live = liveStatements();
        EXPECT_EQ(-2, LoadBin(c.handle, "INSERT INTO h VALUES (?)", in.c_str()));
        EXPECT_EQ(-2, SaveBin(c.handle, "SELECT data FROM h", out.c_str()));
        EXPECT_EQ(live, liveStatements());
        EXPECT_FALSE(fileExists(out));
    }
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    SQLFreeHandle(SQL_HANDLE_DBC, unconnected);
}

// ---- A server that goes away -----------------------------------------------

// A private PostgreSQL server for each test, since the tests stop or kill it.
class ServerGoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = files_.file("pg.env");
        ASSERT_EQ(fixture("start"), 0);
        session_ = std::make_unique<Session>(postgresConnectionString(state_));
        ASSERT_TRUE(session_->connected()) << session_->error();
        // Committed for good: the server's crash recovery must keep the table.
        ASSERT_FALSE(session_->exec("SET synchronous_commit TO on"));
        ASSERT_FALSE(session_->exec("CREATE TABLE gone (id INTEGER PRIMARY KEY, data BYTEA)"));
    }
    void TearDown() override {
        midTransfer = nullptr;
        session_.reset();
        fixture("stop");
    }
    int fixture(const std::string &action) {
        return std::system((std::string("PG_PORT=55434 ") + PG_FIXTURE_SCRIPT + " " + action + " " +
                            state_ + " >/dev/null")
                               .c_str());
    }
    int32_t load(const std::string &path) {
        return bc::loadFile(session_->connection(), "INSERT INTO gone VALUES (1, ?)", path.c_str());
    }

    TempDir files_;
    std::string state_;
    std::unique_ptr<Session> session_;
};

TEST_F(ServerGoneTest, LoadBinGivesMinusFiveWhenTheServerStoppedAfterTheConnection) {
    const std::string in = files_.file("in");
    writeBytes(in, pattern(4096, 3));
    ASSERT_EQ(fixture("stop"), 0);  // the script waits until the server has gone
    EXPECT_EQ(load(in), -5);
}

TEST_F(ServerGoneTest, LoadBinGivesMinusFiveWhenTheServerDiesMidTransfer) {
    bool found = false;
    const std::optional<Bytes> pid =
        session_->queryValue("SELECT CAST(pg_backend_pid() AS TEXT)", &found);
    ASSERT_TRUE(found && pid);
    const pid_t backend = std::stoi(std::string(pid->begin(), pid->end()));
    const std::string in = files_.file("in");
    writeBytes(in, pattern(16 * kMiB, 5));
    // Half the value is on its way when the server process serving this
    // connection is killed; the second half then meets a dead connection.
    midTransfer = [backend] {
        ::kill(backend, SIGKILL);
        while (::kill(backend, 0) == 0) ::usleep(1000);
    };
    EXPECT_EQ(load(in), -5);
    midTransfer = nullptr;
    // Nothing was stored: a new connection, once the server has recovered,
    // finds no row.
    auto later = std::make_unique<Session>(postgresConnectionString(state_));
    while (!later->connected()) {
        ::usleep(20000);
        later = std::make_unique<Session>(postgresConnectionString(state_));
    }
    bool stored = true;
    later->queryValue("SELECT data FROM gone WHERE id = 1", &stored);
    EXPECT_FALSE(stored);
}

}  // namespace
