// What vetting each page before Berkeley DB reads it costs, in one run:
//  - on the large benchmark pair (over 1.5 GB), the first ScanDB of a
//    process against a later ScanDB of the same word, page cache warm,
//    beside the first ScanDB under a proof of the earlier form, which reads
//    both files whole;
//  - on the 1,000,000-record benchmark pair, later ScanDB calls shape by
//    shape, ResSet per record and FindDB per record, against the library's
//    own path without the vetting (the same handles, the same stamps of
//    the pair, no page read beside Berkeley DB's).
// Every figure comes from a fresh child process, interleaved rounds,
// medians. The first-call figures are wall time (what a host waits); the
// per-call figures are processor time (user and system) of the child, which
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

#include "bench_catalogue.h"
#include "btree_file.h"
#include "evaluation.h"
#include "file_stamp.h"
#include "format.h"
#include "proof.h"
#include "scramble.h"
#include "stop_words.h"
#include "store_pair.h"
#include "textfind.h"

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

// `work` in a child process; the figures it returns.
std::vector<double> inChild(std::size_t figures, const std::function<std::vector<double>()> &work) {
    int channel[2];
    if (pipe(channel) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        const std::vector<double> values = work();
        const auto bytes = static_cast<ssize_t>(values.size() * sizeof(double));
        if (values.size() != figures || write(channel[1], values.data(), bytes) != bytes) _exit(1);
        _exit(0);
    }
    std::vector<double> values(figures, -1);
    const auto bytes = static_cast<ssize_t>(figures * sizeof(double));
    if (read(channel[0], values.data(), bytes) != bytes) values.assign(figures, -1);
    close(channel[0]);
    close(channel[1]);
    int status = 0;
    waitpid(child, &status, 0);
    if (std::any_of(values.begin(), values.end(), [](double v) { return v < 0; })) {
        std::fprintf(stderr, "a measurement failed\n");
        std::exit(1);
    }
    return values;
}

double inChild(const std::function<double()> &work) {
    return inChild(1, [&] { return std::vector<double>{work()}; })[0];
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The library's calls as they were before pages were vetted: the same
// handle, the three stamps of the pair, the lookups unvetted.
void stampThePair() {
    for (const char *name : {textfind::kIndexFile, textfind::kRecordFile, textfind::kProofFile})
        textfind::stampOf(name);
}

std::size_t unvettedScan(const std::string &query, int32_t mode) {
    textfind::BtreeFile index;
    if (index.open(textfind::kIndexFile, textfind::kIndexCacheBytes) !=
        textfind::OpenResult::kOpened)
        std::exit(1);
    stampThePair();
    const textfind::StopWords stopWords = textfind::readStopWords(textfind::kStopWordFile);
    static textfind::QueryScratch scratch;
    static textfind::RecordList out;
    textfind::evaluateQuery(index, stopWords, query, mode, "**", scratch, out);
    return out.size();
}

int32_t unvettedFetch(int32_t record, char *buffer) {
    textfind::BtreeFile records;
    if (records.open(textfind::kRecordFile, textfind::kRecordCacheBytes) !=
        textfind::OpenResult::kOpened)
        std::exit(1);
    stampThePair();
    const textfind::RecordKey key = textfind::recordKey(record);
    std::string_view data;
    if (records.get(std::string_view(reinterpret_cast<const char *>(key.data()), key.size()),
                    data) != textfind::Lookup::kFound)
        return -3;
    std::memcpy(buffer, data.data(), data.size());
    textfind::scrambleInPlace(std::span<char>(buffer, data.size()));
    buffer[data.size()] = '\0';
    return 1;
}

std::uintmax_t pairBytes() {
    return std::filesystem::file_size(textfind::kIndexFile) +
           std::filesystem::file_size(textfind::kRecordFile);
}

// A folder beside the large pair holding the same stores under a proof of
// whole files, as an earlier builder wrote it.
std::string earlierFormFolder(const std::string &folder) {
    const std::string earlier = folder + "/earlier-proof";
    if (std::filesystem::exists(earlier + "/opere.sum")) return earlier;
    std::printf("writing a proof of the earlier form...\n");
    std::fflush(stdout);
    std::filesystem::create_directories(earlier);
    for (const char *name :
         {textfind::kIndexFile, textfind::kRecordFile, textfind::kStopWordFile}) {
        std::filesystem::remove(earlier + "/" + name);
        std::filesystem::create_hard_link(folder + "/" + name, earlier + "/" + name);
    }
    const auto index = textfind::proveFile(textfind::kIndexFile);
    const auto records = textfind::proveFile(textfind::kRecordFile);
    const auto longest = textfind::checkProof("", textfind::ProofDepth::kIdentities).longestText();
    if (!index || !records || !longest) std::exit(1);
    const auto bytes = textfind::encodeWholeFileProof({*index, *records, *longest});
    std::FILE *out = std::fopen((earlier + "/opere.sum").c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) std::exit(1);
    std::fclose(out);
    return earlier;
}

void firstCalls(const std::string &folder, const std::vector<std::string> &words) {
    std::filesystem::current_path(folder);
    const std::string earlier = earlierFormFolder(folder);
    std::printf(
        "\nthe first ScanDB of a process against a later one of the same word, on the large pair "
        "(%.2f GB, 1,000,000 records), wall time, page cache warm (median of %d rounds; target: "
        "within 5 ms):\n",
        static_cast<double>(pairBytes()) / 1e9, kRounds);
    std::printf("  %-26s %10s %10s %12s\n", "word", "first ms", "later ms", "first-later");
    struct Shape {
        const char *name;
        std::string word;
    } shapes[] = {{"most common word", words[0]},
                  {"word of rank 100", words[99]},
                  {"rare word (rank 45000)", words[44999]},
                  {"word absent", "zzzqqq"}};
    for (const Shape &shape : shapes) {
        std::vector<double> first, later;
        for (int r = 0; r < kRounds; ++r) {
            const std::vector<double> both = inChild(2, [&] {
                const double one = secondsOf([&] { ScanDB(shape.word.c_str(), 1, "**"); });
                const double two = secondsOf([&] { ScanDB(shape.word.c_str(), 1, "**"); });
                return std::vector<double>{one, two};
            });
            first.push_back(both[0]);
            later.push_back(both[1]);
        }
        std::printf("  %-26s %10.2f %10.2f %12.2f\n", shape.name, median(first) * 1e3,
                    median(later) * 1e3, (median(first) - median(later)) * 1e3);
    }
    std::filesystem::current_path(earlier);
    std::vector<double> whole;
    for (int r = 0; r < 5; ++r)
        whole.push_back(
            inChild([&] { return secondsOf([&] { ScanDB(words[99].c_str(), 1, "**"); }); }));
    std::printf(
        "  the same pair under a proof of the earlier form (both files read whole at the first "
        "call): first ScanDB %.0f ms\n",
        median(whole) * 1e3);
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
        "\nlater ScanDB calls on the 1,000,000-record pair, against the library without the "
        "vetting, processor time per call (median of %d rounds; target at most 1.15):\n",
        kRounds);
    std::printf("  %-28s %12s %12s %8s\n", "shape", "vetted us", "unvetted us", "ratio");
    for (const Shape &shape : shapes) {
        if (static_cast<std::size_t>(ScanDB(shape.query.c_str(), shape.mode, "**")) !=
            unvettedScan(shape.query, shape.mode)) {
            std::fprintf(stderr, "%s: counts differ\n", shape.name);
            std::exit(1);
        }
        std::vector<double> vetted, unvetted;
        for (int r = 0; r < kRounds; ++r) {
            vetted.push_back(inChild([&] {
                ScanDB(shape.query.c_str(), shape.mode, "**");  // meets the pair
                return processorSecondsOf([&] {
                           for (int i = 0; i < shape.calls; ++i)
                               ScanDB(shape.query.c_str(), shape.mode, "**");
                       }) /
                       shape.calls;
            }));
            unvetted.push_back(inChild([&] {
                unvettedScan(shape.query, shape.mode);
                return processorSecondsOf([&] {
                           for (int i = 0; i < shape.calls; ++i)
                               unvettedScan(shape.query, shape.mode);
                       }) /
                       shape.calls;
            }));
        }
        const double a = median(vetted), b = median(unvetted);
        std::printf("  %-28s %12.1f %12.1f %8.3f\n", shape.name, a * 1e6, b * 1e6, a / b);
    }
}

void deliveries(const std::vector<std::string> &words) {
    // A word of about 20,000 hits, drained whole; and as many random records.
    const std::string &word = words[39];
    const auto hits = ScanDB(word.c_str(), 1, "**");
    std::vector<int32_t> set;
    std::vector<char> buffer(1 << 16);
    std::mt19937 rng(424242);
    std::vector<int32_t> numbers;
    for (int i = 0; i < hits; ++i)
        numbers.push_back(1 + static_cast<int32_t>(rng() % bench::kRecords));
    {
        textfind::BtreeFile index;
        index.open(textfind::kIndexFile, 0);
        textfind::QueryScratch scratch;
        textfind::RecordList all;
        textfind::evaluateQuery(index, textfind::readStopWords(textfind::kStopWordFile), word, 1,
                                "**", scratch, all);
        set.assign(all.begin(), all.end());
    }
    std::vector<double> drain, drainUnvetted, find, findUnvetted;
    for (int r = 0; r < kRounds; ++r) {
        drain.push_back(inChild([&] {
            ScanDB(word.c_str(), 1, "**");
            ResSet(buffer.data());  // meets the pair
            return processorSecondsOf([&] {
                       while (ResSet(buffer.data()) == 1) {
                       }
                   }) /
                   (hits - 1);
        }));
        drainUnvetted.push_back(inChild([&] {
            return processorSecondsOf([&] {
                       // The same records, highest first, as ResSet takes them.
                       for (auto at = set.rbegin() + 1; at != set.rend(); ++at)
                           unvettedFetch(*at, buffer.data());
                   }) /
                   (hits - 1);
        }));
        find.push_back(inChild([&] {
            FindDB(numbers[0], buffer.data());
            return processorSecondsOf([&] {
                       for (int32_t record : numbers) FindDB(record, buffer.data());
                   }) /
                   hits;
        }));
        findUnvetted.push_back(inChild([&] {
            return processorSecondsOf([&] {
                       for (int32_t record : numbers) unvettedFetch(record, buffer.data());
                   }) /
                   hits;
        }));
    }
    std::printf(
        "\nper record on the 1,000,000-record pair, %d records, processor time (median of %d "
        "rounds; target at most 1.15):\n",
        hits, kRounds);
    std::printf("  ResSet draining \"%s\": %.2f us; unvetted %.2f us: %.3f\n", word.c_str(),
                median(drain) * 1e6, median(drainUnvetted) * 1e6,
                median(drain) / median(drainUnvetted));
    std::printf("  FindDB, random records: %.2f us; unvetted %.2f us: %.3f\n", median(find) * 1e6,
                median(findUnvetted) * 1e6, median(find) / median(findUnvetted));
}

}  // namespace

int main(int argc, char **argv) {
    const std::string folder = argc > 1 ? argv[1] : TEXTFIND_BENCH_DATA;
    const std::string large = folder + "-large";
    const std::vector<std::string> words = bench::prepareBenchData(folder);
    bench::prepareBenchData(large, bench::kLarge);
    bench::writeStopWords(folder);
    bench::writeStopWords(large);
    std::printf("\nVetting every page Berkeley DB reads:\n");
    firstCalls(large, words);
    std::filesystem::current_path(folder);
    laterScans(words);
    deliveries(words);
    return 0;
}
