// LoadBin and SaveBin through odbc32 to the SQLite3 driver.
#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "destination_cases.h"
#include "runner.h"
#include "test_list.h"
#include "watcher.h"

namespace test {

void binaryColumnCases(const Setting &setting) {
    const std::string &connection = setting.connection;
    Case c("LoadBin and SaveBin move a file through a long binary column");
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLCHAR out[512];
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = SQLDriverConnect(
        dbc, nullptr, reinterpret_cast<SQLCHAR *>(const_cast<char *>(connection.c_str())), SQL_NTS,
        out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (c.expect(SQL_SUCCEEDED(rc), "SQLDriverConnect(%s) failed: %d", connection.c_str(), rc)) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        rc = SQLExecDirect(stmt,
                           reinterpret_cast<SQLCHAR *>(
                               const_cast<char *>("CREATE TABLE docs (id INTEGER, body BLOB)")),
                           SQL_NTS);
        c.expect(SQL_SUCCEEDED(rc), "CREATE TABLE failed");
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);

        std::string data = binaryPattern(70000, 11);
        writeFile("blob.in", data);
        c.expectInt(api.LoadBin(dbc, "INSERT INTO docs VALUES (1, ?)", "blob.in"), 0, "LoadBin");
        c.expectInt(api.SaveBin(dbc, "SELECT body FROM docs WHERE id = 1", "blob.out"), 0,
                    "SaveBin");
        std::string back;
        c.expect(readFile("blob.out", back) && back == data,
                 "blob.out differs: %lu bytes, expected %lu",
                 static_cast<unsigned long>(back.size()), static_cast<unsigned long>(data.size()));
        c.expectInt(api.LoadBin(nullptr, "INSERT INTO docs VALUES (2, ?)", "blob.in"), -1,
                    "no connection");
        c.expectInt(api.LoadBin(dbc, "INSERT INTO docs VALUES (2, ?)", "missing.in"), -3,
                    "missing file");
        c.expectInt(api.SaveBin(dbc, "SELECT body FROM docs WHERE id = 1", "no\\such\\dir\\x"), -6,
                    "unwritable file");
        destinationCases(
            "SaveBin",
            [dbc](const char *destination, const std::string &content) {
                writeFile("dest-value.in", content);
                api.LoadBin(dbc, "UPDATE docs SET body = ? WHERE id = 1", "dest-value.in");
                return static_cast<long>(
                    api.SaveBin(dbc, "SELECT body FROM docs WHERE id = 1", destination));
            },
            0, -6);
        SQLDisconnect(dbc);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

}  // namespace test
