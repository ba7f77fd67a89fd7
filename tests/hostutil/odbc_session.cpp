#include "odbc_session.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace test {
namespace {

std::string env(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

// KEY=VALUE lines written by the PostgreSQL fixture.
std::map<std::string, std::string> serverFacts(const std::string &stateFile) {
    std::map<std::string, std::string> facts;
    std::ifstream in(stateFile);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return facts;
}

SQLCHAR *text(const std::string &s) {
    return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str()));
}

}  // namespace

const Driver &sqliteDriver() {
    static const Driver driver{"SQLite3", "BLOB", false};
    return driver;
}

const Driver &postgresDriver() {
    static const Driver driver{"PostgreSQL", "BYTEA", true};
    return driver;
}

std::string postgresConnectionString(const std::string &stateFile) {
    auto facts = serverFacts(stateFile);
    if (facts.empty()) return "";
    // bytea is the long binary type only with ByteaAsLongVarBinary; without
    // it psqlODBC sends SQL_LONGVARBINARY parameters as large objects.
    return "DRIVER=PostgreSQL;Servername=" + facts["PG_SOCKET_DIR"] + ";Port=" + facts["PG_PORT"] +
           ";Database=" + facts["PG_DATABASE"] + ";UserName=" + facts["PG_USER"] +
           ";ByteaAsLongVarBinary=1;";
}

std::string Driver::connectionString() const {
    if (!needsServer) {
        static TempDir folder;  // one database file per test process
        return "DRIVER=SQLite3;Database=" + folder.file("test.db") + ";SyncPragma=OFF;";
    }
    return postgresConnectionString(env("HOSTUTIL_ODBC_PG_STATE"));
}

Session::Session(const Driver &driver, const std::string &extra) {
    const std::string connection = driver.connectionString();
    if (connection.empty()) {
        error_ = "no PostgreSQL server: HOSTUTIL_ODBC_PG_STATE names no fixture state";
        return;
    }
    connect(connection + extra);
}

Session::Session(const std::string &connectionString) { connect(connectionString); }

void Session::connect(const std::string &full) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
        error_ = "no ODBC environment";
        return;
    }
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
        error_ = "no ODBC connection handle";
        return;
    }
    const SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, text(full), SQL_NTS, nullptr, 0, nullptr,
                                          SQL_DRIVER_NOPROMPT);
    connected_ = SQL_SUCCEEDED(rc);
    if (!connected_) error_ = full + ": " + diagnostics(SQL_HANDLE_DBC, dbc_);
}

Session::~Session() {
    if (connected_) SQLDisconnect(dbc_);
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::string Session::diagnostics(SQLSMALLINT type, SQLHANDLE handle) const {
    std::string out;
    SQLCHAR state[6];
    SQLCHAR message[1024];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1; SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message,
                                          &length) == SQL_SUCCESS;
         ++i) {
        // Appended piece by piece: GCC 12 at -O3 misreads the temporaries of
        // a chained + as overlapping copies (-Wrestrict).
        out += '[';
        out += reinterpret_cast<const char *>(state);
        out += "] ";
        out += reinterpret_cast<const char *>(message);
        out += ' ';
    }
    return out.empty() ? "no diagnostics" : out;
}

std::optional<std::string> Session::exec(const std::string &sql) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) return "no statement";
    const SQLRETURN rc = SQLExecDirect(stmt, text(sql), SQL_NTS);
    std::optional<std::string> failure;
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
        failure = sql + ": " + diagnostics(SQL_HANDLE_STMT, stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return failure;
}

std::optional<std::string> Session::execWithValue(const std::string &sql, const Bytes &value) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) return "no statement";
    unsigned char empty = 0;
    SQLLEN length = static_cast<SQLLEN>(value.size());
    SQLPOINTER data = value.empty() ? &empty : const_cast<unsigned char *>(value.data());
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                     value.empty() ? 1 : value.size(), 0, data, length, &length);
    const SQLRETURN rc = SQLExecDirect(stmt, text(sql), SQL_NTS);
    std::optional<std::string> failure;
    if (!SQL_SUCCEEDED(rc)) failure = sql + ": " + diagnostics(SQL_HANDLE_STMT, stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return failure;
}

std::optional<Bytes> Session::queryValue(const std::string &sql, bool *found) {
    if (found) *found = false;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt)))
        throw std::runtime_error("no statement");
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt, text(sql), SQL_NTS))) {
        const std::string why = diagnostics(SQL_HANDLE_STMT, stmt);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        throw std::runtime_error(sql + ": " + why);
    }
    std::optional<Bytes> value;
    if (SQL_SUCCEEDED(SQLFetch(stmt))) {
        if (found) *found = true;
        Bytes collected;
        unsigned char piece[4096];
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc = SQLGetData(stmt, 1, SQL_C_BINARY, piece, sizeof piece, &indicator);
            if (rc == SQL_NO_DATA) break;
            if (!SQL_SUCCEEDED(rc)) {
                const std::string why = diagnostics(SQL_HANDLE_STMT, stmt);
                SQLFreeHandle(SQL_HANDLE_STMT, stmt);
                throw std::runtime_error(sql + ": " + why);
            }
            if (indicator == SQL_NULL_DATA) {
                SQLFreeHandle(SQL_HANDLE_STMT, stmt);
                return std::nullopt;
            }
            const std::size_t got = (indicator == SQL_NO_TOTAL || indicator > SQLLEN(sizeof piece))
                                        ? sizeof piece
                                        : static_cast<std::size_t>(indicator);
            collected.insert(collected.end(), piece, piece + got);
            if (rc == SQL_SUCCESS) break;
        }
        value = std::move(collected);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return value;
}

Bytes readBytes(const std::string &path) {
    const std::string bytes = test::readFile(path);
    return Bytes(bytes.begin(), bytes.end());
}

void writeBytes(const std::string &path, const Bytes &data) {
    test::writeFile(path,
                    std::string_view(reinterpret_cast<const char *>(data.data()), data.size()));
}

Bytes pattern(std::size_t size, unsigned seed) {
    static const unsigned char markers[] = {'\r', '\n', 0x1A, 0x00, '\r', '\n'};
    Bytes data(size);
    uint32_t state = 2463534242u ^ seed;
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t inBlock = i % 4096;
        if (inBlock < 256) {
            data[i] = static_cast<unsigned char>(inBlock + seed);  // every byte value
        } else if (inBlock < 256 + sizeof markers) {
            data[i] = markers[inBlock - 256];
        } else {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            data[i] = static_cast<unsigned char>(state);
        }
    }
    return data;
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t total = 0, resident = 0;
    statm >> total >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

int openDescriptors() {
    int count = 0;
    if (DIR *dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

}  // namespace test
