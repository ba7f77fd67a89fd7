// 100 MiB file -> long binary column -> file, through LoadBin/SaveBin and
// through a plain program making the ODBC calls itself, on the SQLite3 driver
// and on psqlODBC (a private PostgreSQL server is started for the run).
// Prints the median time of each direction, the ratio library/plain (target
// at most 1.1) and the peak memory each direction adds to the process.
#include <sql.h>
#include <sqlext.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "binary_column.h"
#include "hostutil.h"

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kSize = 100 * kMiB;
constexpr int kRepeats = 3;

[[noreturn]] void die(const std::string &why) {
    std::fprintf(stderr, "odbc_bench: %s\n", why.c_str());
    std::exit(1);
}

SQLCHAR *text(const std::string &s) {
    return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str()));
}

// ---- Memory of the process ------------------------------------------------

std::size_t statusKiB(const char *field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::stoul(line.substr(n + 1));
    return 0;
}

// Peak resident memory added by `work`: the high-water mark is reset first
// (Linux clear_refs 5), then compared with the resident size before.
double peakAddedMiB(const std::function<void()> &work) {
    { std::ofstream("/proc/self/clear_refs") << "5"; }
    const std::size_t before = statusKiB("VmRSS:");
    work();
    const std::size_t peak = statusKiB("VmHWM:");
    return peak > before ? double(peak - before) / 1024.0 : 0.0;
}

// ---- The server ---------------------------------------------------------

struct Server {
    std::string state;
    std::map<std::string, std::string> facts;
    explicit Server(const std::string &stateFile) : state(stateFile) {
        const std::string start = std::string("sh '") + PG_FIXTURE_SCRIPT + "' start '" + state + "'";
        if (std::system(start.c_str()) != 0) die("cannot start PostgreSQL");
        std::ifstream in(state);
        std::string line;
        while (std::getline(in, line))
            if (auto eq = line.find('='); eq != std::string::npos)
                facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    ~Server() {
        const std::string stop = std::string("sh '") + PG_FIXTURE_SCRIPT + "' stop '" + state + "'";
        if (std::system(stop.c_str()) != 0) std::fprintf(stderr, "odbc_bench: stop failed\n");
    }
};

// ---- A host's connection ------------------------------------------------

struct Connection {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    explicit Connection(const std::string &connect) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, text(connect), SQL_NTS, nullptr, 0,
                                            nullptr, SQL_DRIVER_NOPROMPT)))
            die("cannot connect: " + connect);
    }
    ~Connection() {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    void exec(const std::string &sql) {
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        const SQLRETURN rc = SQLExecDirect(stmt, text(sql), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) die("failed: " + sql);
    }
};

// ---- The plain program ----------------------------------------------------

// Reads the file, binds it as an ordinary input buffer and executes.
void plainStore(SQLHDBC dbc, const std::string &sql, const std::string &path) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) die("cannot read " + path);
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    std::vector<unsigned char> data(static_cast<std::size_t>(size));
    if (std::fread(data.data(), 1, data.size(), f) != data.size()) die("short read");
    std::fclose(f);

    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLLEN length = size;
    SQLPrepare(stmt, text(sql), SQL_NTS);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, data.size(), 0,
                     data.data(), length, &length);
    const SQLRETURN rc = SQLExecute(stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (!SQL_SUCCEEDED(rc)) die("plain store failed");
}

// Fetches the value in 1 MiB pieces and appends each to the file.
void plainFetch(SQLHDBC dbc, const std::string &sql, const std::string &path) {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt, text(sql), SQL_NTS)) || SQLFetch(stmt) != SQL_SUCCESS)
        die("plain fetch failed");
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) die("cannot write " + path);
    std::vector<unsigned char> piece(kMiB);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, 1, SQL_C_BINARY, piece.data(),
                                        static_cast<SQLLEN>(piece.size()), &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA) die("plain fetch failed");
        const std::size_t got = (rc == SQL_SUCCESS_WITH_INFO) ? piece.size()
                                                              : static_cast<std::size_t>(indicator);
        std::fwrite(piece.data(), 1, got, f);
        if (rc == SQL_SUCCESS) break;
    }
    std::fclose(f);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

// ---- Measurement ----------------------------------------------------------

struct Figures {
    std::vector<double> seconds;
    double peakMiB = 0;
    double median() const {
        auto sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

double timed(const std::function<void()> &work, double &peakMiB) {
    double seconds = 0;
    const double peak = peakAddedMiB([&] {
        const auto start = std::chrono::steady_clock::now();
        work();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    peakMiB = std::max(peakMiB, peak);
    return seconds;
}

bool sameFiles(const std::string &a, const std::string &b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(kMiB), bb(kMiB);
    while (fa && fb) {
        fa.read(ba.data(), ba.size());
        fb.read(bb.data(), bb.size());
        if (fa.gcount() != fb.gcount() || std::memcmp(ba.data(), bb.data(), fa.gcount()) != 0)
            return false;
    }
    return fa.eof() && fb.eof();
}

void benchDriver(const char *name, const std::string &connect, const std::string &blobType,
                 const std::string &folder) {
    Connection c(connect);
    c.exec("DROP TABLE IF EXISTS bench");
    c.exec("CREATE TABLE bench (id INTEGER PRIMARY KEY, data " + blobType + ")");
    const std::string in = folder + "/in.bin";
    const std::string out = folder + "/out.bin";
    const std::string insert = "INSERT INTO bench (id, data) VALUES (1, ?)";
    const std::string select = "SELECT data FROM bench WHERE id = 1";

    Figures libStore, libFetch, plainStoreF, plainFetchF;
    for (int i = 0; i < kRepeats; ++i) {
        c.exec("DELETE FROM bench");
        libStore.seconds.push_back(timed([&] {
            if (LoadBin(c.dbc, insert.c_str(), in.c_str()) != 0) die("LoadBin failed");
        }, libStore.peakMiB));
        std::filesystem::remove(out);
        libFetch.seconds.push_back(timed([&] {
            if (SaveBin(c.dbc, select.c_str(), out.c_str()) != 0) die("SaveBin failed");
        }, libFetch.peakMiB));
        if (!sameFiles(in, out)) die(std::string(name) + ": library round trip differs");

        c.exec("DELETE FROM bench");
        plainStoreF.seconds.push_back(
            timed([&] { plainStore(c.dbc, insert, in); }, plainStoreF.peakMiB));
        std::filesystem::remove(out);
        plainFetchF.seconds.push_back(
            timed([&] { plainFetch(c.dbc, select, out); }, plainFetchF.peakMiB));
        if (!sameFiles(in, out)) die(std::string(name) + ": plain round trip differs");
    }
    c.exec("DROP TABLE bench");

    auto row = [&](const char *direction, const Figures &lib, const Figures &plain) {
        std::printf("%-11s %-22s %8.3f s %8.3f s %6.2fx %9.0f MiB %9.0f MiB\n", name, direction,
                    lib.median(), plain.median(), lib.median() / plain.median(), lib.peakMiB,
                    plain.peakMiB);
    };
    row("file -> column", libStore, plainStoreF);
    row("column -> file", libFetch, plainFetchF);
    const double lib = libStore.median() + libFetch.median();
    const double plain = plainStoreF.median() + plainFetchF.median();
    std::printf("%-11s %-22s %8.3f s %8.3f s %6.2fx\n", name, "round trip", lib, plain,
                lib / plain);
    std::fflush(stdout);
}

}  // namespace

int main() {
    // The drivers come from the build's own odbcinst.ini, never from /etc.
    setenv("ODBCSYSINI", ODBC_CONFIG_DIR, 1);
    setenv("ODBCINI", ODBC_CONFIG_DIR "/odbc.ini", 1);

    std::string folder = (std::filesystem::temp_directory_path() / "odbc-bench.XXXXXX").string();
    if (!mkdtemp(folder.data())) die("mkdtemp failed");
    {
        // The value: every byte value, CR LF, 0x1A and NUL, then noise.
        std::vector<unsigned char> data(kSize);
        uint32_t state = 2463534242u;
        for (std::size_t i = 0; i < kSize; ++i) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            data[i] = (i % 4096 < 256) ? static_cast<unsigned char>(i) : static_cast<unsigned char>(state);
        }
        std::FILE *f = std::fopen((folder + "/in.bin").c_str(), "wb");
        if (!f || std::fwrite(data.data(), 1, kSize, f) != kSize || std::fclose(f) != 0)
            die("cannot write the input file");
    }

    std::printf("100 MiB value, median of %d runs; peak = resident memory added during the step\n",
                kRepeats);
    std::printf("%-11s %-22s %10s %10s %7s %13s %13s\n", "driver", "direction", "library",
                "plain", "ratio", "library peak", "plain peak");
    benchDriver("SQLite3", "DRIVER=SQLite3;Database=" + folder + "/bench.db;SyncPragma=OFF;",
                "BLOB", folder);
    {
        Server server(folder + "/pg.env");
        auto &f = server.facts;
        benchDriver("PostgreSQL",
                    "DRIVER=PostgreSQL;Servername=" + f["PG_SOCKET_DIR"] + ";Port=" +
                        f["PG_PORT"] + ";Database=" + f["PG_DATABASE"] + ";UserName=" +
                        f["PG_USER"] + ";ByteaAsLongVarBinary=1;",
                    "BYTEA", folder);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
