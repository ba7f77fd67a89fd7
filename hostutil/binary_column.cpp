// File <-> long binary column transfer: LoadBin and SaveBin.
//
// The host owns the ODBC environment and connection; a call only borrows the
// connection for one statement, which it drops before returning on every
// path. Each transfer holds the whole value in memory exactly once.
#include "binary_column.h"

#include <cstdio>
#include <limits>
#include <memory>

#include "export_guard.h"
#include "hostutil.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace hostutil::binary_column {
namespace {

struct Release {
    void operator()(unsigned char *p) const { platform::current().release(p); }
};
using Buffer = std::unique_ptr<unsigned char[], Release>;

// Null when the memory cannot be had. Never null for 0 bytes, so an empty
// value still has a valid address to hand to the driver.
Buffer allocate(std::size_t bytes) {
    return Buffer(
        static_cast<unsigned char *>(platform::current().allocate(bytes == 0 ? 1 : bytes)));
}

using File = platform::CFile;

// One statement on the host's connection, dropped when it goes out of scope.
class Statement {
public:
    explicit Statement(SQLHDBC connection) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_)))
            handle_ = SQL_NULL_HSTMT;
    }
    ~Statement() {
        if (handle_ != SQL_NULL_HSTMT) SQLFreeStmt(handle_, SQL_DROP);
    }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    explicit operator bool() const { return handle_ != SQL_NULL_HSTMT; }
    SQLHSTMT get() const { return handle_; }

private:
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

SQLCHAR *sqlText(const char *sql) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql)); }

// The largest value both transfers can carry: it must fit in memory, in a
// length the ODBC calls take, and in an announced data-at-execution length.
constexpr unsigned long long kLargestValue = [] {
    constexpr auto sqlMax = static_cast<unsigned long long>(std::numeric_limits<SQLLEN>::max() +
                                                            SQL_LEN_DATA_AT_EXEC_OFFSET);
    constexpr auto sizeMax =
        static_cast<unsigned long long>(std::numeric_limits<std::size_t>::max());
    return sqlMax < sizeMax ? sqlMax : sizeMax;
}();

// Reads the whole file into one buffer of exactly its length. False when the
// file cannot be opened, measured, held in memory or read in full.
bool readWholeFile(const char *path, Buffer &data, SQLLEN &length) {
    if (path == nullptr) return false;
    File file(std::fopen(path, "rb"));
    if (!file) return false;
    if (platform::seekFile(file.get(), 0, SEEK_END) != 0) return false;
    const long long end = platform::tellFile(file.get());
    if (end < 0 || static_cast<unsigned long long>(end) > kLargestValue) return false;
    if (platform::seekFile(file.get(), 0, SEEK_SET) != 0) return false;

    const auto bytes = static_cast<std::size_t>(end);
    data = allocate(bytes);
    if (!data) return false;
    // A file that yields fewer bytes than its length (a device or a file cut
    // short while we read) would leave part of the buffer unset, and that
    // garbage would be stored as the value: refuse it instead.
    if (std::fread(data.get(), 1, bytes, file.get()) != bytes) return false;
    length = static_cast<SQLLEN>(end);
    return true;
}

// Writes `bytes` bytes of `data` over the file at `path`, which is opened as
// a plain open for writing would. Its room is reserved first, so a full
// disk or a quota leaves the earlier file whole; a short write or a failed
// close is a failure.
bool writeWholeFile(const char *path, const unsigned char *data, std::size_t bytes) {
    if (path == nullptr) return false;
    platform::DestinationFile file(path);
    return file.isOpen() && file.reserve(bytes) && file.write(data, bytes) && file.finish();
}

}  // namespace

int32_t loadFile(SQLHDBC connection, const char *sql, const char *path) {
    if (connection == SQL_NULL_HDBC) return HOSTUTIL_LOAD_NO_CONNECTION;
    Statement statement(connection);
    if (!statement) return HOSTUTIL_LOAD_NO_STATEMENT;

    // Declared after the statement so that it is released before it.
    Buffer data;
    SQLLEN length = 0;
    if (!readWholeFile(path, data, length)) return HOSTUTIL_LOAD_FILE_UNREADABLE;

    if (sql == nullptr || !SQL_SUCCEEDED(SQLPrepare(statement.get(), sqlText(sql), SQL_NTS)))
        return HOSTUTIL_LOAD_NOT_PREPARED;

    // The value pointer is only a token handed back by SQLParamData.
    SQLLEN indicator = 0;
    SQLBindParameter(statement.get(), 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0,
                     reinterpret_cast<SQLPOINTER>(1), 0, &indicator);
    // Announce the real length: drivers that need it up front (SQL_NEED_LONG_DATA_LEN
    // "Y") otherwise store an empty value and still report success. Drivers
    // that do not need it ignore it.
    indicator = SQL_LEN_DATA_AT_EXEC(length);

    // A statement that did not run is no success: the host would believe
    // the file stored. One that ran and touched no row (SQL_NO_DATA) did run.
    auto failed = [](SQLRETURN rc) { return rc == SQL_ERROR || rc == SQL_INVALID_HANDLE; };
    SQLRETURN rc = SQLExecute(statement.get());
    if (rc == SQL_NEED_DATA) {
        SQLPOINTER token = nullptr;
        while ((rc = SQLParamData(statement.get(), &token)) == SQL_NEED_DATA) {
            if (failed(SQLPutData(statement.get(), data.get(), length)))
                return HOSTUTIL_LOAD_NOT_EXECUTED;
        }
    }
    return failed(rc) ? HOSTUTIL_LOAD_NOT_EXECUTED : HOSTUTIL_LOAD_DONE;
}

int32_t saveFile(SQLHDBC connection, const char *sql, const char *path) {
    if (connection == SQL_NULL_HDBC) return HOSTUTIL_SAVE_NO_CONNECTION;
    Statement statement(connection);
    if (!statement) return HOSTUTIL_SAVE_NO_STATEMENT;

    if (sql == nullptr || SQLExecDirect(statement.get(), sqlText(sql), SQL_NTS) == SQL_ERROR)
        return HOSTUTIL_SAVE_QUERY_FAILED;

    while (SQLFetch(statement.get()) == SQL_SUCCESS) {
        // Length probe. The driver manager refuses a null target outright,
        // so a real one-byte buffer goes with a buffer length of 0.
        unsigned char scratch[1];
        SQLLEN indicator = 0;
        const SQLRETURN probe =
            SQLGetData(statement.get(), 1, SQL_C_BINARY, scratch, 0, &indicator);
        // Drivers answer the probe either with the truncation report or with
        // plain success; both carry the total length. NULL, SQL_NO_TOTAL and
        // empty values leave nothing to size a buffer by.
        if (!SQL_SUCCEEDED(probe) || indicator <= 0) return HOSTUTIL_SAVE_NO_LENGTH;

        const SQLLEN length = indicator;
        if (static_cast<unsigned long long>(length) > kLargestValue)
            return HOSTUTIL_SAVE_VALUE_NOT_FETCHED;
        Buffer value = allocate(static_cast<std::size_t>(length));
        if (!value) return HOSTUTIL_SAVE_VALUE_NOT_FETCHED;

        if (SQLGetData(statement.get(), 1, SQL_C_DEFAULT, value.get(), length, &indicator) !=
            SQL_SUCCESS)
            return HOSTUTIL_SAVE_VALUE_NOT_FETCHED;
        // Never write more than the buffer holds, whatever the driver claims.
        if (indicator < 0 || indicator > length) return HOSTUTIL_SAVE_VALUE_NOT_FETCHED;

        if (!writeWholeFile(path, value.get(), static_cast<std::size_t>(indicator)))
            return HOSTUTIL_SAVE_FILE_UNWRITABLE;
    }
    return HOSTUTIL_SAVE_DONE;
}

}  // namespace hostutil::binary_column

extern "C" {

HOSTUTIL_API int32_t HOSTUTIL_CALL LoadBin(HostutilConnection connection, const char *sql,
                                           const char *path) {
    return hostutil::guardExport(hostutil::fallback::kLoadBin, [&] {
        return hostutil::binary_column::loadFile(static_cast<SQLHDBC>(connection), sql, path);
    });
}

HOSTUTIL_API int32_t HOSTUTIL_CALL SaveBin(HostutilConnection connection, const char *sql,
                                           const char *path) {
    return hostutil::guardExport(hostutil::fallback::kSaveBin, [&] {
        return hostutil::binary_column::saveFile(static_cast<SQLHDBC>(connection), sql, path);
    });
}

}  // extern "C"
