// ScanDB against SQLite FTS5 on the benchmark catalogue, query shape by
// query shape: each side opens its store, answers the count and closes, per
// call, in interleaved rounds; counts must agree. Beside them the raw
// Berkeley DB floor of the same shape: open the index, get each word's item,
// close. Then the drains a host makes of a word's hits (at most 20,000
// texts): ScanDB and ResSet until 0, against ResSet reading no record ahead
// (a handle opened for each record) and against FTS5 stepping one
// statement; and the first ResSet after a ScanDB, with and without.
//
// usage: fts5_bench [DATA_FOLDER]
// The FTS5 table (rowid = record number, tokenize='ascii') is loaded once
// from the catalogue and reused. Stop words are left out of its texts, as a
// full-text engine without a stop-word list of its own is set up, so that a
// query of stop words finds nothing on either side.
#include <db.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "bench_catalogue.h"
#include "result_set.h"
#include "textfind.h"
#include "words.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char *kFtsFile = "fts5.db";
constexpr const char *kFtsParameters = "fts5 tokenize=ascii stop-words-left-out v1";

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "fts5_bench: %s\n", what.c_str());
    std::exit(1);
}

void execute(sqlite3 *db, const char *sql) {
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK)
        fail(std::string(sql) + ": " + (error ? error : "?"));
}

void loadFts(const std::string &folder, const std::set<std::string, std::less<>> &stopWords) {
    const std::string marker = folder + "/fts5.parameters";
    std::string cached;
    std::getline(std::ifstream(marker), cached);
    if (cached == kFtsParameters && std::filesystem::exists(folder + "/" + kFtsFile)) return;
    std::filesystem::remove(marker);
    std::filesystem::remove(folder + "/" + kFtsFile);
    std::printf("loading the catalogue into an FTS5 table...\n");
    std::fflush(stdout);
    const auto start = Clock::now();
    sqlite3 *db = nullptr;
    if (sqlite3_open((folder + "/" + kFtsFile).c_str(), &db) != SQLITE_OK) fail("cannot create");
    execute(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
    execute(db, "CREATE VIRTUAL TABLE opere USING fts5(testo, tokenize='ascii')");
    execute(db, "BEGIN");
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO opere(rowid, testo) VALUES(?, ?)", -1, &insert, nullptr);
    std::ifstream in(folder + "/catalogue.tsv", std::ios::binary);
    std::string line, text, key;
    while (std::getline(in, line)) {
        const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) fail("catalogue line without two tabs");
        text.clear();
        textfind::forEachWord(std::string_view(line).substr(tab2 + 1), [&](std::string_view w) {
            textfind::wordNormalForm(w, key);
            if (stopWords.contains(key)) return;
            if (!text.empty()) text += ' ';
            text += w;
        });
        sqlite3_bind_int64(insert, 1, std::atoll(line.c_str()));
        sqlite3_bind_text(insert, 2, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        if (sqlite3_step(insert) != SQLITE_DONE) fail(sqlite3_errmsg(db));
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    execute(db, "COMMIT");
    execute(db, "INSERT INTO opere(opere) VALUES('optimize')");
    sqlite3_close(db);
    std::printf("loaded in %.1f s\n", std::chrono::duration<double>(Clock::now() - start).count());
    std::ofstream(marker) << kFtsParameters << '\n';
}

struct Shape {
    std::string name;
    std::vector<std::string> words;
    int32_t mode;  // 1 all words, 0 any
};

// FTS5's side of a call: open, count, close.
long long ftsCount(const Shape &shape, const std::set<std::string, std::less<>> &stopWords) {
    std::string match, key;
    for (const std::string &w : shape.words) {
        textfind::wordNormalForm(w, key);
        if (stopWords.contains(key)) continue;
        if (!match.empty()) match += shape.mode == 1 ? " AND " : " OR ";
        match += '"' + w + '"';
    }
    // Only stop words: they are not in FTS5's texts, so it finds nothing too.
    if (match.empty())
        for (const std::string &w : shape.words)
            match += (match.empty() ? "\"" : " AND \"") + w + '"';
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(kFtsFile, &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail("cannot open fts5.db");
    sqlite3_stmt *count = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM opere WHERE opere MATCH ?", -1, &count,
                           nullptr) != SQLITE_OK)
        fail(sqlite3_errmsg(db));
    sqlite3_bind_text(count, 1, match.c_str(), -1, SQLITE_STATIC);
    long long n = -1;
    if (sqlite3_step(count) == SQLITE_ROW) n = sqlite3_column_int64(count, 0);
    sqlite3_finalize(count);
    sqlite3_close(db);
    return n;
}

long long scanCount(const Shape &shape) {
    std::string query;
    for (const std::string &w : shape.words) query += (query.empty() ? "" : " ") + w;
    return ScanDB(query.c_str(), shape.mode, "**");
}

// The floor: the Berkeley DB calls ScanDB cannot avoid for the shape.
long long floorBytes(const Shape &shape, const std::set<std::string, std::less<>> &stopWords) {
    DB *db = nullptr;
    db_create(&db, nullptr, 0);
    if (db->open(db, nullptr, "opere.idb", nullptr, DB_BTREE, 0, 0664) != 0) fail("no opere.idb");
    long long bytes = 0;
    std::string key;
    for (const std::string &w : shape.words) {
        textfind::wordNormalForm(w, key);
        if (stopWords.contains(key)) continue;
        DBT k, v;
        std::memset(&k, 0, sizeof k);
        std::memset(&v, 0, sizeof v);
        k.data = key.data();
        k.size = static_cast<uint32_t>(key.size());
        if (db->get(db, nullptr, &k, &v, 0) == 0) bytes += v.size;
    }
    db->close(db, 0);
    return bytes;
}

// Seconds per call of `call`, repeated until the batch lasts 2 ms.
template <typename F>
double perCall(F &&call) {
    int calls = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        call();
        ++calls;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < 0.002);
    return elapsed / calls;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

constexpr int kMostTexts = 20000;

// A host's drain: the query, then every text up to the limit; the texts'
// bytes, which must agree between the sides.
long long drain(const std::string &word, std::vector<char> &buffer) {
    ScanDB(word.c_str(), 1, "**");
    long long bytes = 0;
    for (int n = 0; n < kMostTexts && ResSet(buffer.data()) == 1; ++n)
        bytes += static_cast<long long>(std::strlen(buffer.data()));
    return bytes;
}

// FTS5's drain: one statement stepped, highest record first.
long long ftsDrain(const std::string &word) {
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(kFtsFile, &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail("cannot open fts5.db");
    sqlite3_stmt *rows = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT testo FROM opere WHERE opere MATCH ? ORDER BY rowid DESC "
                           "LIMIT 20000",
                           -1, &rows, nullptr) != SQLITE_OK)
        fail(sqlite3_errmsg(db));
    const std::string match = '"' + word + '"';
    sqlite3_bind_text(rows, 1, match.c_str(), -1, SQLITE_STATIC);
    long long bytes = 0;
    while (sqlite3_step(rows) == SQLITE_ROW) bytes += sqlite3_column_bytes(rows, 0);
    sqlite3_finalize(rows);
    sqlite3_close(db);
    return bytes;
}

void drains(const std::vector<std::string> &words) {
    std::vector<char> buffer(1 << 16);
    const textfind::ReadAheadLimits usual = textfind::readAheadLimits;
    const textfind::ReadAheadLimits none{0, 0};
    struct Drain {
        const char *name;
        std::string word;
    } shapes[] = {{"most common word", words[0]}, {"word of rank 100", words[99]}};
    std::printf(
        "\ndraining a word's hits (ScanDB, then ResSet until 0, at most %d texts), wall time, "
        "medians of 15 interleaved rounds; target at most 2.0 x FTS5:\n",
        kMostTexts);
    std::printf("  %-20s %7s %12s %14s %10s %9s %9s\n", "query", "texts", "ResSet ms",
                "no read-ahead", "FTS5 ms", "/FTS5", "/no r-a");
    for (const Drain &shape : shapes) {
        const int32_t hits = ScanDB(shape.word.c_str(), 1, "**");
        const int texts = std::min(hits, kMostTexts);
        std::vector<double> ahead, none_, fts;
        for (int round = 0; round < 15; ++round) {
            textfind::readAheadLimits = usual;
            ahead.push_back(perCall([&] { drain(shape.word, buffer); }));
            textfind::readAheadLimits = none;
            none_.push_back(perCall([&] { drain(shape.word, buffer); }));
            fts.push_back(perCall([&] { ftsDrain(shape.word); }));
        }
        textfind::readAheadLimits = usual;
        const double a = median(ahead), b = median(none_), c = median(fts);
        std::printf("  %-20s %7d %12.1f %14.1f %10.1f %9.2f %9.2f\n", shape.name, texts, a * 1e3,
                    b * 1e3, c * 1e3, a / c, a / b);
    }
    // The first ResSet after a query reads one record, as before.
    std::vector<double> first, firstNone;
    for (int round = 0; round < 15; ++round)
        for (const bool reading : {true, false}) {
            textfind::readAheadLimits = reading ? usual : none;
            std::vector<double> &into = reading ? first : firstNone;
            double spent = 0;
            for (int call = 0; call < 200; ++call) {
                ScanDB(words[99].c_str(), 1, "**");
                const auto start = Clock::now();
                ResSet(buffer.data());
                spent += std::chrono::duration<double>(Clock::now() - start).count();
            }
            into.push_back(spent / 200);
        }
    textfind::readAheadLimits = usual;
    std::printf(
        "  the first ResSet after a ScanDB: %.1f us; without read-ahead %.1f us: %.2f "
        "(target at most 1.10)\n",
        median(first) * 1e6, median(firstNone) * 1e6, median(first) / median(firstNone));
}

}  // namespace

int main(int argc, char **argv) {
    const std::string folder = argc > 1 ? argv[1] : TEXTFIND_BENCH_DATA;
    std::vector<std::string> ranked = bench::prepareBenchData(folder);
    bench::writeStopWords(folder);
    std::set<std::string, std::less<>> stopWords;
    for (const std::string &w : bench::stopWords()) stopWords.insert(w);
    loadFts(folder, stopWords);
    std::filesystem::current_path(folder);

    // Ranks count words that are not stop words.
    std::vector<std::string> words;
    std::vector<std::string> stops;
    for (const std::string &w : ranked)
        (stopWords.contains(textfind::wordNormalForm(w)) ? stops : words).push_back(w);
    auto rank = [&](std::size_t r) { return words.at(r - 1); };
    const std::vector<Shape> shapes = {
        {"most common word", {rank(1)}, 1},
        {"word of rank 100", {rank(100)}, 1},
        {"rare word (rank 45000)", {rank(45000)}, 1},
        {"AND most common + rank 100", {rank(1), rank(100)}, 1},
        {"AND ranks 100 + 150", {rank(100), rank(150)}, 1},
        {"OR ranks 100 + 150", {rank(100), rank(150)}, 0},
        {"AND the 5 most common", {rank(1), rank(2), rank(3), rank(4), rank(5)}, 1},
        {"AND ranks 2 + 10 + 50", {rank(2), rank(10), rank(50)}, 1},
        {"word absent from the index", {"qzxqzxq"}, 1},
        {"stop words only", {"il", "di", "e"}, 1},
    };
    // Shapes the targets name: each at most 0.7, this one at most 0.6.
    constexpr std::size_t kTableShapes = 7, kCommonAndRank100 = 3;

    std::vector<long long> hits(shapes.size());
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        hits[s] = scanCount(shapes[s]);
        const long long fts = ftsCount(shapes[s], stopWords);
        if (hits[s] != fts) {
            std::fprintf(stderr, "fts5_bench: %s: ScanDB counts %lld, FTS5 %lld\n",
                         shapes[s].name.c_str(), hits[s], fts);
            return 1;
        }
    }

    constexpr int kRounds = 15;
    std::vector<std::vector<double>> scan(shapes.size()), fts(shapes.size()), floor(shapes.size());
    for (int round = 0; round < kRounds; ++round)
        for (std::size_t s = 0; s < shapes.size(); ++s) {
            const Shape &shape = shapes[s];
            scan[s].push_back(perCall([&] { scanCount(shape); }));
            fts[s].push_back(perCall([&] { ftsCount(shape, stopWords); }));
            floor[s].push_back(perCall([&] { floorBytes(shape, stopWords); }));
        }

    std::printf(
        "\nScanDB against SQLite %s FTS5 (count(*) of MATCH), 1,000,000 records, selector **;\n"
        "each call a fresh open, query, close; medians of %d interleaved rounds. Floor: open\n"
        "the index, get each word's item, close (raw Berkeley DB).\n\n",
        sqlite3_libversion(), kRounds);
    std::printf("%-28s %8s %10s %10s %7s %10s %8s\n", "query", "hits", "ScanDB ms", "FTS5 ms",
                "ratio", "floor ms", "/floor");
    std::vector<double> ratios;
    bool met = true;
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        const double a = median(scan[s]), b = median(fts[s]), c = median(floor[s]);
        const double ratio = a / b;
        ratios.push_back(ratio);
        const double target = s == kCommonAndRank100 ? 0.6 : s < kTableShapes ? 0.7 : 0;
        const bool missed = target > 0 && ratio > target;
        met &= !missed;
        std::printf("%-28s %8lld %10.3f %10.3f %7.2f %10.3f %8.2f%s\n", shapes[s].name.c_str(),
                    hits[s], a * 1e3, b * 1e3, ratio, c * 1e3, a / c, missed ? "  (missed)" : "");
    }
    const double medianRatio = median(ratios);
    const double commonToGet = median(scan[0]) / median(floor[0]);
    met &= medianRatio <= 0.3 && commonToGet <= 1.5;
    std::printf(
        "\nmedian ratio %.2f (target 0.3); ScanDB on the most common word %.2f x its Berkeley "
        "DB get (target 1.5)\n%s\n",
        medianRatio, commonToGet, met ? "targets met" : "targets missed");
    drains(words);
    return 0;
}
