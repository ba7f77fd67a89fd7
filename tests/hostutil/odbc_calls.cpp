// Counts the driver manager calls of the whole test process. The linker
// routes every reference to these entry points here (-Wl,--wrap); each one
// forwards to the real driver manager unchanged.
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include "odbc_session.h"

namespace {
std::atomic<int64_t> statements{0};
std::atomic<int64_t> calls{0};
std::atomic<int64_t> dataPuts{0};
}  // namespace

namespace test {
std::function<void()> midTransfer;
int64_t liveStatements() { return statements.load(); }
int64_t odbcCalls() { return calls.load(); }
int64_t putDataCalls() { return dataPuts.load(); }
}  // namespace test

extern "C" {

SQLRETURN __real_SQLAllocHandle(SQLSMALLINT, SQLHANDLE, SQLHANDLE *);
SQLRETURN __real_SQLFreeHandle(SQLSMALLINT, SQLHANDLE);
SQLRETURN __real_SQLFreeStmt(SQLHSTMT, SQLUSMALLINT);
SQLRETURN __real_SQLPrepare(SQLHSTMT, SQLCHAR *, SQLINTEGER);
SQLRETURN __real_SQLBindParameter(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT,
                                  SQLULEN, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *);
SQLRETURN __real_SQLExecute(SQLHSTMT);
SQLRETURN __real_SQLParamData(SQLHSTMT, SQLPOINTER *);
SQLRETURN __real_SQLPutData(SQLHSTMT, SQLPOINTER, SQLLEN);
SQLRETURN __real_SQLExecDirect(SQLHSTMT, SQLCHAR *, SQLINTEGER);
SQLRETURN __real_SQLFetch(SQLHSTMT);
SQLRETURN __real_SQLGetData(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *);

SQLRETURN __wrap_SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE *output) {
    ++calls;
    const SQLRETURN rc = __real_SQLAllocHandle(type, input, output);
    if (type == SQL_HANDLE_STMT && SQL_SUCCEEDED(rc)) ++statements;
    return rc;
}

SQLRETURN __wrap_SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    ++calls;
    const SQLRETURN rc = __real_SQLFreeHandle(type, handle);
    if (type == SQL_HANDLE_STMT && SQL_SUCCEEDED(rc)) --statements;
    return rc;
}

SQLRETURN __wrap_SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
    ++calls;
    const SQLRETURN rc = __real_SQLFreeStmt(stmt, option);
    if (option == SQL_DROP && SQL_SUCCEEDED(rc)) --statements;
    return rc;
}

SQLRETURN __wrap_SQLPrepare(SQLHSTMT stmt, SQLCHAR *text, SQLINTEGER length) {
    ++calls;
    return __real_SQLPrepare(stmt, text, length);
}

SQLRETURN __wrap_SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT io,
                                  SQLSMALLINT valueType, SQLSMALLINT paramType, SQLULEN size,
                                  SQLSMALLINT digits, SQLPOINTER value, SQLLEN bufferLength,
                                  SQLLEN *indicator) {
    ++calls;
    return __real_SQLBindParameter(stmt, number, io, valueType, paramType, size, digits, value,
                                   bufferLength, indicator);
}

SQLRETURN __wrap_SQLExecute(SQLHSTMT stmt) {
    ++calls;
    return __real_SQLExecute(stmt);
}

SQLRETURN __wrap_SQLParamData(SQLHSTMT stmt, SQLPOINTER *token) {
    ++calls;
    return __real_SQLParamData(stmt, token);
}

SQLRETURN __wrap_SQLPutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length) {
    ++calls;
    ++dataPuts;
    if (!test::midTransfer || length < 2) return __real_SQLPutData(stmt, data, length);
    // The value goes in two pieces, with the test's step between them.
    const SQLLEN first = length / 2;
    const SQLRETURN rc = __real_SQLPutData(stmt, data, first);
    if (!SQL_SUCCEEDED(rc)) return rc;
    test::midTransfer();
    return __real_SQLPutData(stmt, static_cast<unsigned char *>(data) + first, length - first);
}

SQLRETURN __wrap_SQLExecDirect(SQLHSTMT stmt, SQLCHAR *text, SQLINTEGER length) {
    ++calls;
    return __real_SQLExecDirect(stmt, text, length);
}

SQLRETURN __wrap_SQLFetch(SQLHSTMT stmt) {
    ++calls;
    return __real_SQLFetch(stmt);
}

SQLRETURN __wrap_SQLGetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT type, SQLPOINTER target,
                            SQLLEN bufferLength, SQLLEN *indicator) {
    ++calls;
    return __real_SQLGetData(stmt, column, type, target, bufferLength, indicator);
}

}  // extern "C"
