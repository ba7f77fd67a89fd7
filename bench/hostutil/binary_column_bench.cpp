// 100 MiB file -> long binary column -> file, through LoadBin/SaveBin and
// through a plain program making the ODBC calls itself, on the SQLite3 driver
// and on psqlODBC (a private PostgreSQL server is started for the run).
// Prints the best times of each direction, the ratio library/plain (target
// at most 1.1) and the peak memory each direction adds to the process.
#include <malloc.h>
#include <sql.h>
#include <sqlext.h>
#include <stdlib.h>
#include <sys/resource.h>
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
    std::fprintf(stderr, "binary_column_bench: %s\n", why.c_str());
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

// Peak resident memory added by `work`: freed memory is handed back and the
// high-water mark reset first (Linux clear_refs 5), so that every step starts
// from the same footing; the peak is then compared with the size before.
double peakAddedMiB(const std::function<void()> &work) {
    malloc_trim(0);
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
        const std::string start =
            std::string("sh '") + PG_FIXTURE_SCRIPT + "' start '" + state + "'";
        if (std::system(start.c_str()) != 0) die("cannot start PostgreSQL");
        std::ifstream in(state);
        std::string line;
        while (std::getline(in, line))
            if (auto eq = line.find('='); eq != std::string::npos)
                facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    ~Server() {
        const std::string stop = std::string("sh '") + PG_FIXTURE_SCRIPT + "' stop '" + state + "'";
        if (std::system(stop.c_str()) != 0)
            std::fprintf(stderr, "binary_column_bench: stop failed\n");
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

// ---- Plain programs ---------------------------------------------------------

std::vector<unsigned char> readAll(const std::string &path) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) die("cannot read " + path);
    std::fseek(f, 0, SEEK_END);
    std::vector<unsigned char> data(static_cast<std::size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(data.data(), 1, data.size(), f) != data.size()) die("short read");
    std::fclose(f);
    return data;
}

// The same calls as the library, written out by hand: whole file, data at
// execution, a length probe and one SQLGetData for the whole value.
void sameCallsStore(SQLHDBC dbc, const std::string &sql, const std::string &path) {
    const auto data = readAll(path);
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLLEN indicator = 0;
    SQLPrepare(stmt, text(sql), SQL_NTS);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0,
                     reinterpret_cast<SQLPOINTER>(1), 0, &indicator);
    indicator = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(data.size()));
    SQLRETURN rc = SQLExecute(stmt);
    SQLPOINTER token;
    while (rc == SQL_NEED_DATA && (rc = SQLParamData(stmt, &token)) == SQL_NEED_DATA)
        SQLPutData(stmt, const_cast<unsigned char *>(data.data()),
                   static_cast<SQLLEN>(data.size()));
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (!SQL_SUCCEEDED(rc)) die("same-calls store failed");
}

void sameCallsFetch(SQLHDBC dbc, const std::string &sql, const std::string &path) {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt, text(sql), SQL_NTS)) || SQLFetch(stmt) != SQL_SUCCESS)
        die("same-calls fetch failed");
    unsigned char scratch[1];
    SQLLEN length = 0;
    SQLGetData(stmt, 1, SQL_C_BINARY, scratch, 0, &length);
    std::vector<unsigned char> value(static_cast<std::size_t>(length));
    SQLGetData(stmt, 1, SQL_C_BINARY, value.data(), length, &length);
    std::FILE *f = std::fopen(path.c_str(), "wb");
    std::fwrite(value.data(), 1, value.size(), f);
    std::fclose(f);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

// What a program without the library would naturally do: bind the file's
// bytes as an ordinary input buffer, and fetch the value in 1 MiB pieces.
void streamingStore(SQLHDBC dbc, const std::string &sql, const std::string &path) {
    auto data = readAll(path);
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLLEN length = static_cast<SQLLEN>(data.size());
    SQLPrepare(stmt, text(sql), SQL_NTS);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, data.size(), 0,
                     data.data(), length, &length);
    const SQLRETURN rc = SQLExecute(stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (!SQL_SUCCEEDED(rc)) die("streaming store failed");
}

void streamingFetch(SQLHDBC dbc, const std::string &sql, const std::string &path) {
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt, text(sql), SQL_NTS)) || SQLFetch(stmt) != SQL_SUCCESS)
        die("streaming fetch failed");
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) die("cannot write " + path);
    std::vector<unsigned char> piece(kMiB);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, 1, SQL_C_BINARY, piece.data(),
                                        static_cast<SQLLEN>(piece.size()), &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA) die("streaming fetch failed");
        const std::size_t got =
            (rc == SQL_SUCCESS_WITH_INFO) ? piece.size() : static_cast<std::size_t>(indicator);
        std::fwrite(piece.data(), 1, got, f);
        if (rc == SQL_SUCCESS) break;
    }
    std::fclose(f);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

// ---- Measurement ----------------------------------------------------------

using Step = std::function<void(SQLHDBC, const std::string &, const std::string &)>;

struct Variant {
    const char *name;
    Step store, fetch;
};

struct Figures {
    double wall = 1e30, cpu = 1e30, peakMiB = 0;  // best wall and CPU times, worst peak
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void measure(Figures &figures, const std::function<void()> &work) {
    double wall = 0, cpu = 0;
    const double peak = peakAddedMiB([&] {
        const double cpuStart = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        work();
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu = cpuSeconds() - cpuStart;
    });
    figures.wall = std::min(figures.wall, wall);
    figures.cpu = std::min(figures.cpu, cpu);
    figures.peakMiB = std::max(figures.peakMiB, peak);
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

    const Variant variants[] = {
        {"LoadBin / SaveBin",
         [](SQLHDBC dbc, const std::string &sql, const std::string &path) {
             if (LoadBin(dbc, sql.c_str(), path.c_str()) != 0) die("LoadBin failed");
         },
         [](SQLHDBC dbc, const std::string &sql, const std::string &path) {
             if (SaveBin(dbc, sql.c_str(), path.c_str()) != 0) die("SaveBin failed");
         }},
        {"plain, same calls", sameCallsStore, sameCallsFetch},
        {"plain, bound/pieces", streamingStore, streamingFetch},
    };
    constexpr int kVariants = sizeof variants / sizeof variants[0];
    Figures store[kVariants], fetch[kVariants];
    // The first large transfer on a connection grows the client library's
    // own buffers for good; keep that out of every variant's figures.
    Figures warmUp;
    c.exec("DELETE FROM bench");
    measure(warmUp, [&] { variants[2].store(c.dbc, insert, in); });
    measure(warmUp, [&] { variants[2].fetch(c.dbc, select, out); });
    for (int i = 0; i < kRepeats; ++i) {
        for (int v = 0; v < kVariants; ++v) {
            c.exec("DELETE FROM bench");
            measure(store[v], [&] { variants[v].store(c.dbc, insert, in); });
            std::filesystem::remove(out);
            measure(fetch[v], [&] { variants[v].fetch(c.dbc, select, out); });
            if (!sameFiles(in, out))
                die(std::string(name) + ": " + variants[v].name + " round trip differs");
        }
    }
    c.exec("DROP TABLE bench");

    for (int v = 0; v < kVariants; ++v) {
        const double wall = store[v].wall + fetch[v].wall;
        const double cpu = store[v].cpu + fetch[v].cpu;
        const double libWall = store[0].wall + fetch[0].wall;
        const double libCpu = store[0].cpu + fetch[0].cpu;
        std::printf("%-10s %-20s %7.2f s %7.2f s %7.2f s %7.2f s %6.0f/%-4.0f MiB  %5.2fx %5.2fx\n",
                    name, variants[v].name, store[v].wall, fetch[v].wall, wall, cpu,
                    store[v].peakMiB, fetch[v].peakMiB, libWall / wall, libCpu / cpu);
    }
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
            data[i] = (i % 4096 < 256) ? static_cast<unsigned char>(i)
                                       : static_cast<unsigned char>(state);
        }
        std::FILE *f = std::fopen((folder + "/in.bin").c_str(), "wb");
        if (!f || std::fwrite(data.data(), 1, kSize, f) != kSize || std::fclose(f) != 0)
            die("cannot write the input file");
    }

    std::printf(
        "100 MiB round trip, best of %d runs. store/fetch/total: wall time; cpu: this\n"
        "process (the server's work is not in it); peak: resident memory added during\n"
        "store/fetch; lib/x: LoadBin+SaveBin time over this row's (wall, cpu).\n",
        kRepeats);
    std::printf("%-10s %-20s %9s %9s %9s %9s %14s %6s %6s\n", "driver", "path", "store", "fetch",
                "total", "cpu", "peak", "wall", "cpu");
    benchDriver("SQLite3", "DRIVER=SQLite3;Database=" + folder + "/bench.db;SyncPragma=OFF;",
                "BLOB", folder);
    {
        Server server(folder + "/pg.env");
        auto &f = server.facts;
        benchDriver("PostgreSQL",
                    "DRIVER=PostgreSQL;Servername=" + f["PG_SOCKET_DIR"] + ";Port=" + f["PG_PORT"] +
                        ";Database=" + f["PG_DATABASE"] + ";UserName=" + f["PG_USER"] +
                        ";ByteaAsLongVarBinary=1;",
                    "BYTEA", folder);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
