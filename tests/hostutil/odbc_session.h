// Test-side ODBC access: the host's role (environment and connection) and an
// independent way to put values in and read them back, so that the code under
// test is never checked against itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sql.h>
#include <sqlext.h>

#include "temp_dir.h"

namespace test {

using Bytes = std::vector<unsigned char>;

// One of the two real drivers the tests run against.
struct Driver {
    std::string name;      // test-name suffix
    std::string blobType;  // column type of a long binary value
    bool needsServer;
    // Connection string for a database private to this process.
    std::string connectionString() const;
};

const Driver &sqliteDriver();
const Driver &postgresDriver();

// The connection string of the PostgreSQL server whose facts the fixture
// script wrote to `stateFile`; empty when there are none.
std::string postgresConnectionString(const std::string &stateFile);

// Environment and connection, as a host holds them.
class Session {
public:
    // Connects with `driver`'s string plus `extra` options; on failure
    // connected() is false and error() says why.
    explicit Session(const Driver &driver, const std::string &extra = "");
    // Connects with a whole connection string.
    explicit Session(const std::string &connectionString);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    bool connected() const { return connected_; }
    const std::string &error() const { return error_; }
    SQLHENV environment() const { return env_; }
    SQLHDBC connection() const { return dbc_; }

    // Runs a statement; returns the driver's diagnostic text on failure.
    std::optional<std::string> exec(const std::string &sql);
    // Stores `value` into `sql`'s single parameter as an ordinary bound buffer.
    std::optional<std::string> execWithValue(const std::string &sql, const Bytes &value);
    // Column 1 of the first row of `sql`, read in small pieces; nullopt for
    // NULL or no row. `found` tells those two apart.
    std::optional<Bytes> queryValue(const std::string &sql, bool *found = nullptr);

private:
    void connect(const std::string &connectionString);
    std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) const;

    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
    std::string error_;
};

// Statement handles allocated minus dropped, and ODBC calls made, by this
// process since it started (the driver manager's entry points are wrapped at
// link time; the calls still go to the real driver manager).
int64_t liveStatements();
int64_t odbcCalls();
int64_t putDataCalls();
// When set, a value given to SQLPutData goes in two pieces and this runs
// between them.
extern std::function<void()> midTransfer;

// Files, as Bytes.
Bytes readBytes(const std::string &path);
void writeBytes(const std::string &path, const Bytes &data);

// `size` bytes that contain every byte value, CR LF pairs, 0x1A and NUL,
// varied by `seed`.
Bytes pattern(std::size_t size, unsigned seed);

// Resident memory of this process in bytes.
std::size_t residentBytes();
// Open file descriptors of this process.
int openDescriptors();

}  // namespace test
