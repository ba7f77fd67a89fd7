// textfind-build on the 1,000,000-record benchmark catalogue, as a separate
// process (wall time and peak resident memory), beside two floors measured
// in the same run from the very key/data items of the stores it wrote:
// db_load of their dump, and the items put in key order into new files with
// the plain Berkeley DB API and the builder's settings (page checksums, the
// same cache) - no parsing, no words, no sorting.
//
// usage: build_bench [DATA_FOLDER]
#include <db.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_catalogue.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    double seconds;
    double peakMiB;
};

// Runs a program with stdout to /dev/null and stdin from `input`.
Run runProgram(const std::vector<std::string> &arguments, const char *input = "/dev/null") {
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen(input, "r", stdin)) _exit(126);
        std::vector<char *> argv;
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", arguments[0].c_str());
        std::exit(1);
    }
    return {seconds, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

// Debian names the tools after the library's version.
std::string berkeleyTool(const char *name) {
    for (const char *prefix : {"db5.3_", "db_"}) {
        const std::string tool = std::string(prefix) + name;
        if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0) return tool;
    }
    return {};
}

using Items = std::vector<std::pair<std::string, std::string>>;

Items itemsOf(const std::string &path) {
    Items items;
    DB *db = nullptr;
    db_create(&db, nullptr, 0);
    db->open(db, nullptr, path.c_str(), nullptr, DB_BTREE, DB_RDONLY, 0);
    DBC *cursor = nullptr;
    db->cursor(db, nullptr, &cursor, 0);
    DBT k, v;
    std::memset(&k, 0, sizeof k);
    std::memset(&v, 0, sizeof v);
    while (cursor->get(cursor, &k, &v, DB_NEXT) == 0)
        items.emplace_back(std::string(static_cast<char *>(k.data), k.size),
                           std::string(static_cast<char *>(v.data), v.size));
    cursor->close(cursor);
    db->close(db, 0);
    return items;
}

void putAll(const Items &items, const std::string &path) {
    std::filesystem::remove(path);
    DB *db = nullptr;
    db_create(&db, nullptr, 0);
    db->set_cachesize(db, 0, 8u << 20, 1);
    db->set_flags(db, DB_CHKSUM);
    db->open(db, nullptr, path.c_str(), nullptr, DB_BTREE, DB_CREATE | DB_EXCL, 0664);
    DBT k, v;
    std::memset(&k, 0, sizeof k);
    std::memset(&v, 0, sizeof v);
    for (const auto &[key, data] : items) {
        k.data = const_cast<char *>(key.data());
        k.size = static_cast<u_int32_t>(key.size());
        v.data = const_cast<char *>(data.data());
        v.size = static_cast<u_int32_t>(data.size());
        db->put(db, nullptr, &k, &v, 0);
    }
    db->close(db, 0);
}

}  // namespace

int main(int argc, char **argv) {
    const std::string folder = argc > 1 ? argv[1] : TEXTFIND_BENCH_DATA;
    bench::prepareBenchData(folder);
    const std::string catalogue = folder + "/catalogue.tsv";
    const std::string out = folder + "/build-bench";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);

    // The builder first, while this process is small: its peak memory is
    // its own.
    constexpr int kRounds = 3;
    Run builder{1e9, 0};
    for (int round = 0; round < kRounds; ++round) {
        const Run run = runProgram({TEXTFIND_BUILD_TOOL, catalogue, out});
        builder.seconds = std::min(builder.seconds, run.seconds);
        builder.peakMiB = std::max(builder.peakMiB, run.peakMiB);
    }

    const std::string dump = berkeleyTool("dump"), load = berkeleyTool("load");
    Run loaded{1e9, 0};
    if (!dump.empty() && !load.empty()) {
        for (const char *store : {"opere.ddb", "opere.idb"})
            runProgram(
                {"sh", "-c", dump + " -f " + out + "/" + store + ".dump " + folder + "/" + store});
        for (int round = 0; round < kRounds; ++round) {
            double seconds = 0;
            for (const char *store : {"opere.ddb", "opere.idb"}) {
                const std::string target = out + "/load." + store;
                std::filesystem::remove(target);
                seconds += runProgram({load, "-f", out + "/" + store + ".dump", target}).seconds;
            }
            loaded.seconds = std::min(loaded.seconds, seconds);
        }
    }

    const Items index = itemsOf(folder + "/opere.idb");
    const Items records = itemsOf(folder + "/opere.ddb");
    double puts = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        putAll(records, out + "/floor.ddb");
        putAll(index, out + "/floor.idb");
        puts = std::min(puts, std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::filesystem::remove_all(out);

    std::printf("\ntextfind-build of %d records (%.0f MiB of catalogue), best of %d:\n",
                bench::kRecords,
                static_cast<double>(std::filesystem::file_size(catalogue)) / (1 << 20), kRounds);
    std::printf("  textfind-build         %6.2f s   peak memory %.0f MiB (bound 160 MiB)\n",
                builder.seconds, builder.peakMiB);
    if (loaded.seconds < 1e9)
        std::printf("  floor: db_load         %6.2f s   ratio %.2f (target 1.5)\n", loaded.seconds,
                    builder.seconds / loaded.seconds);
    else
        std::printf("  floor: db_load         (not installed)\n");
    std::printf("  floor: %zu + %zu items put in key order %.2f s   ratio %.2f\n", records.size(),
                index.size(), puts, builder.seconds / puts);
    return 0;
}
