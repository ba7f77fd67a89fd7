// What the store proof and the per-call handles cost and save on the
// 1,000,000-record benchmark store, beside today's handles in the same run:
//  - the first ScanDB of a process, which checks the proof (both files read
//    whole), beside reading both files once;
//  - later ScanDB calls, shape by shape, against today's: the same query
//    work through a handle with Berkeley DB's default cache and no pair check
//    (the library's own functions, composed as its query was before);
//  - ResSet per record and FindDB against today's: the record store as the
//    builder wrote it before (page checksums), through a handle with the
//    default cache, no pair check, no bound.
// Every figure comes from a fresh child process, interleaved rounds,
// medians: no configuration inherits another's allocator or cache state.
// Per-call figures are processor time (user and system) of the child, which
// the machine's other load does not lengthen as it lengthens the wall clock.
//
// usage: store_bench [DATA_FOLDER]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <db.h>

#include "bench_catalogue.h"
#include "btree_file.h"
#include "category_filter.h"
#include "format.h"
#include "merge.h"
#include "postings.h"
#include "scramble.h"
#include "stop_words.h"
#include "textfind.h"
#include "words.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 15;

double secondsOf(const std::function<void()> &work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The processor time `work` takes.
double processorSecondsOf(const std::function<void()> &work) {
    const double start = processorSeconds();
    work();
    return processorSeconds() - start;
}

// `work` in a child process; what it returns.
double inChild(const std::function<double()> &work) {
    int channel[2];
    if (pipe(channel) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        const double value = work();
        if (write(channel[1], &value, sizeof value) != sizeof value) _exit(1);
        _exit(0);
    }
    double value = -1;
    if (read(channel[0], &value, sizeof value) != sizeof value) value = -1;
    close(channel[0]);
    close(channel[1]);
    int status = 0;
    waitpid(child, &status, 0);
    if (value < 0) {
        std::fprintf(stderr, "a measurement failed\n");
        std::exit(1);
    }
    return value;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Today's handle, call for call: created and opened with Berkeley DB's
// defaults, messages dropped, closed with the environment told not to panic.
class TodaysHandle {
public:
    explicit TodaysHandle(const char *path) {
        if (db_create(&db_, nullptr, 0) != 0) std::exit(1);
        db_->set_errcall(db_, [](const DB_ENV *, const char *, const char *) {});
        db_->set_msgcall(db_, [](const DB_ENV *, const char *) {});
        if (db_->open(db_, nullptr, path, nullptr, DB_BTREE, 0, 0664) != 0) std::exit(1);
    }
    ~TodaysHandle() {
        if (cursor_) cursor_->close(cursor_);
        DB_ENV *environment = db_->get_env(db_);
        environment->set_flags(environment, DB_NOPANIC, 1);
        db_->close(db_, 0);
    }
    bool getPiece(const std::string &key, uint32_t offset, std::span<char> into,
                  std::string_view &piece) {
        if (!cursor_ && db_->cursor(db_, nullptr, &cursor_, 0) != 0) return false;
        DBT k = item(key), v = item({});
        v.flags = DB_DBT_USERMEM | DB_DBT_PARTIAL;
        v.data = into.data();
        v.ulen = v.dlen = static_cast<u_int32_t>(into.size());
        v.doff = offset;
        if (cursor_->get(cursor_, &k, &v, offset == 0 ? DB_SET : DB_CURRENT) != 0) return false;
        piece = std::string_view(into.data(), v.size);
        return true;
    }
    bool get(std::string_view key, std::string_view &data) {
        // Today's delivery asked first whether the store has checksums.
        u_int32_t flags = 0;
        db_->get_flags(db_, &flags);
        DBT k = item(key), v = item({});
        if (db_->get(db_, nullptr, &k, &v, 0) != 0) return false;
        data = std::string_view(static_cast<const char *>(v.data), v.size);
        return true;
    }

private:
    static DBT item(std::string_view bytes) {
        DBT dbt;
        std::memset(&dbt, 0, sizeof dbt);
        dbt.data = const_cast<char *>(bytes.data());
        dbt.size = static_cast<u_int32_t>(bytes.size());
        return dbt;
    }
    DB *db_ = nullptr;
    DBC *cursor_ = nullptr;
};

// Today's query: the library's query work through today's handle, with no
// pair check, as the library ran it before the proof.
textfind::RecordList todaysScan(const std::string &query, int32_t mode,
                                const std::string &selector) {
    TodaysHandle index(textfind::kIndexFile);
    const textfind::StopWords stopWords = textfind::readStopWords(textfind::kStopWordFile);
    // Kept from call to call, as the library keeps them.
    static textfind::CategoryDecisions decisions;
    decisions.choose(selector);
    static std::vector<char> buffer(64 * 1024);
    static textfind::RecordList wordList, working;
    textfind::RecordList building;
    std::string key;
    bool first = true;
    textfind::forEachWord(query, [&](std::string_view word) {
        textfind::wordNormalForm(word, key);
        if (stopWords.contains(key)) return;
        wordList.clear();
        bool ascending = true;
        std::string_view piece;
        for (uint32_t offset = 0;; offset += static_cast<uint32_t>(piece.size())) {
            if (!index.getPiece(key, offset, buffer, piece) || piece.empty()) break;
            ascending &= textfind::appendAcceptedRecords(piece, decisions, wordList);
            if (piece.size() < buffer.size()) break;
        }
        if (!ascending) std::sort(wordList.begin(), wordList.end());
        if (first) {
            building.swap(wordList);
            first = false;
        } else {
            if (mode == 1)
                textfind::intersectSorted(wordList, building, working);
            else
                textfind::uniteSorted(wordList, building, working);
            building.swap(working);
        }
    });
    return building;
}

// Today's delivery of one record.
int32_t todaysFetch(const char *store, int32_t record, char *buffer) {
    TodaysHandle records(store);
    const textfind::RecordKey key = textfind::recordKey(record);
    std::string_view data;
    if (!records.get(std::string_view(reinterpret_cast<const char *>(key.data()), key.size()),
                     data))
        return -3;
    std::memcpy(buffer, data.data(), data.size());
    textfind::scrambleInPlace(std::span<char>(buffer, data.size()));
    buffer[data.size()] = '\0';
    return 1;
}

// The record store as the builder wrote it before: page checksums, 4 KiB pages.
std::string todaysRecordStore(const std::string &folder) {
    const std::string path = folder + "/today-opere.ddb";
    if (std::filesystem::exists(path)) return path;
    std::printf("writing the record store as the builder wrote it before...\n");
    std::fflush(stdout);
    textfind::BtreeFile from, to;
    if (from.open(textfind::kRecordFile, 0, true) != textfind::OpenResult::kOpened ||
        !to.create(path + ".partial", {4096, true}, 64u << 20))
        std::exit(1);
    from.forEach([&](std::string_view key, std::string_view data) { to.put(key, data); });
    if (!to.finish()) std::exit(1);
    std::filesystem::rename(path + ".partial", path);
    return path;
}

void firstScan(const std::string &word) {
    std::vector<double> first, read;
    std::vector<char> block(1 << 20);
    for (int r = 0; r < kRounds; ++r) {
        first.push_back(inChild([&] { return secondsOf([&] { ScanDB(word.c_str(), 1, "**"); }); }));
        read.push_back(inChild([&] {
            return secondsOf([&] {
                for (const char *name : {textfind::kIndexFile, textfind::kRecordFile}) {
                    std::FILE *file = std::fopen(name, "rb");
                    while (std::fread(block.data(), 1, block.size(), file) > 0) {
                    }
                    std::fclose(file);
                }
            });
        }));
    }
    const std::uintmax_t bytes = std::filesystem::file_size(textfind::kIndexFile) +
                                 std::filesystem::file_size(textfind::kRecordFile);
    std::printf(
        "first ScanDB of a process (the proof checked: %.0f MB read and digested): %.1f ms; "
        "reading both files once: %.1f ms (page cache warm)\n",
        static_cast<double>(bytes) / 1e6, median(first) * 1e3, median(read) * 1e3);
}

void laterScans(const std::vector<std::string> &words) {
    struct Shape {
        const char *name;
        std::string query;
        int32_t mode;
        int calls;
    } shapes[] = {
        {"most common word", words[0], 1, 100},
        {"word of rank 100", words[99], 1, 2000},
        {"rare word (rank 45000)", words[44999], 1, 4000},
        {"AND most common + rank 100", words[0] + " " + words[99], 1, 100},
        {"OR ranks 100 + 150", words[99] + " " + words[149], 0, 2000},
        {"word absent from the index", "zzzqqq", 1, 4000},
    };
    std::printf(
        "\nlater ScanDB calls against today's, processor time per call (median of %d rounds; "
        "target within 3%%):\n",
        kRounds);
    std::printf("  %-28s %12s %12s %8s\n", "shape", "library us", "today's us", "ratio");
    for (const Shape &shape : shapes) {
        if (static_cast<std::size_t>(ScanDB(shape.query.c_str(), shape.mode, "**")) !=
            todaysScan(shape.query, shape.mode, "**").size()) {
            std::fprintf(stderr, "%s: counts differ\n", shape.name);
            std::exit(1);
        }
        std::vector<double> library, today;
        for (int r = 0; r < kRounds; ++r) {
            library.push_back(inChild([&] {
                ScanDB(shape.query.c_str(), shape.mode, "**");  // meets the pair
                return processorSecondsOf([&] {
                           for (int i = 0; i < shape.calls; ++i)
                               ScanDB(shape.query.c_str(), shape.mode, "**");
                       }) /
                       shape.calls;
            }));
            today.push_back(inChild([&] {
                return processorSecondsOf([&] {
                           for (int i = 0; i < shape.calls; ++i)
                               todaysScan(shape.query, shape.mode, "**");
                       }) /
                       shape.calls;
            }));
        }
        const double a = median(library), b = median(today);
        std::printf("  %-28s %12.1f %12.1f %8.3f\n", shape.name, a * 1e6, b * 1e6, a / b);
    }
}

void deliveries(const std::vector<std::string> &words, const std::string &todaysStore) {
    // A word of about 20,000 hits, drained whole; and as many random records.
    const std::string &word = words[39];
    const textfind::RecordList set = todaysScan(word, 1, "**");
    const auto hits = static_cast<int32_t>(set.size());
    std::vector<int32_t> numbers;
    std::vector<char> buffer(1 << 16);
    std::mt19937 rng(424242);
    for (int i = 0; i < hits; ++i)
        numbers.push_back(1 + static_cast<int32_t>(rng() % bench::kRecords));
    std::vector<double> drain, drainToday, find, findToday;
    for (int r = 0; r < kRounds; ++r) {
        drain.push_back(inChild([&] {
            ScanDB(word.c_str(), 1, "**");
            return processorSecondsOf([&] {
                       while (ResSet(buffer.data()) == 1) {
                       }
                   }) /
                   hits;
        }));
        drainToday.push_back(inChild([&] {
            return processorSecondsOf([&] {
                       // The same records, highest first, as ResSet takes them.
                       for (auto at = set.rbegin(); at != set.rend(); ++at)
                           todaysFetch(todaysStore.c_str(), *at, buffer.data());
                   }) /
                   hits;
        }));
        find.push_back(inChild([&] {
            return processorSecondsOf([&] {
                       for (int32_t record : numbers) FindDB(record, buffer.data());
                   }) /
                   hits;
        }));
        findToday.push_back(inChild([&] {
            return processorSecondsOf([&] {
                       for (int32_t record : numbers)
                           todaysFetch(todaysStore.c_str(), record, buffer.data());
                   }) /
                   hits;
        }));
    }
    std::printf(
        "\nper record, %d records, processor time (median of %d rounds; target 0.6 of today's):\n",
        hits, kRounds);
    std::printf("  ResSet draining \"%s\": %.2f us; today's %.2f us: %.2f\n", word.c_str(),
                median(drain) * 1e6, median(drainToday) * 1e6, median(drain) / median(drainToday));
    std::printf("  FindDB, random records: %.2f us; today's %.2f us: %.2f\n", median(find) * 1e6,
                median(findToday) * 1e6, median(find) / median(findToday));
}

}  // namespace

int main(int argc, char **argv) {
    const std::string folder = argc > 1 ? argv[1] : TEXTFIND_BENCH_DATA;
    const std::vector<std::string> words = bench::prepareBenchData(folder);
    bench::writeStopWords(folder);
    std::filesystem::current_path(folder);
    const std::string todaysStore = todaysRecordStore(folder);
    std::printf("\nThe stores' proof and the per-call handles, on %d records:\n", bench::kRecords);
    firstScan(words[0]);
    laterScans(words);
    deliveries(words, todaysStore);
    return 0;
}
