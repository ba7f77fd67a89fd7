// ReplChar on a 1 GiB text file against `cp` of the same file.
// Usage: replchar_bench [folder [MiB]]; the files are removed afterwards.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "hostutil.h"
#include "stopwatch.h"

using namespace bench;

namespace {
// Lines of words and ';'-separated fields with CR LF ends, some lone LFs.
void writeTextFile(const std::string &path, uint64_t size) {
    std::mt19937 random(42);
    std::vector<char> pattern(4 << 20);
    std::size_t column = 0;
    for (char &c : pattern) {
        const unsigned roll = random() % 100;
        c = roll < 70   ? static_cast<char>('a' + roll % 26)
            : roll < 85 ? ' '
            : roll < 95 ? ';'
                        : 'X';
        if (++column > 60 + random() % 20) column = 0;
    }
    for (std::size_t i = 70; i + 1 < pattern.size(); i += 64 + random() % 24) {
        pattern[i] = '\r';
        pattern[i + 1] = '\n';
    }
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    for (uint64_t written = 0; written < size;) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<uint64_t>(pattern.size(), size - written));
        if (std::fwrite(pattern.data(), 1, chunk, file) != chunk) {
            std::perror(path.c_str());
            std::exit(1);
        }
        written += chunk;
    }
    std::fclose(file);
}
}  // namespace

int main(int argc, char **argv) {
    const std::filesystem::path folder =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    const uint64_t mebibytes = argc > 2 ? std::stoull(argv[2]) : 1024;
    const std::string source = (folder / "replchar-bench.src").string();
    const std::string replaced = (folder / "replchar-bench.out").string();
    const std::string copied = (folder / "replchar-bench.cp").string();

    writeTextFile(source, mebibytes << 20);
    // Into a new file, and over an earlier one of the same size, which
    // costs ReplChar a first pass to reserve the copy's room; cp truncates.
    struct Shape {
        const char *name;
        bool overEarlier;
        double best = 1e9, bestCopy = 1e9, processor = 1e9, processorCopy = 1e9;
    } shapes[] = {{"new file", false}, {"over an earlier file", true}};
    for (int run = 0; run < 3; ++run) {
        for (Shape &shape : shapes) {
            if (shape.overEarlier) {
                std::filesystem::copy_file(source, replaced);
                std::filesystem::copy_file(source, copied);
            }
            const double ownBefore = processorSeconds(false);
            shape.best =
                std::min(shape.best, secondsFor([&] {
                             if (ReplChar(source.c_str(), replaced.c_str(), ';', ',') != 1) {
                                 std::fprintf(stderr, "ReplChar failed\n");
                                 std::exit(1);
                             }
                         }));
            shape.processor = std::min(shape.processor, processorSeconds(false) - ownBefore);
            std::filesystem::remove(replaced);
            const double childrenBefore = processorSeconds(true);
            shape.bestCopy = std::min(
                shape.bestCopy, secondsForCommand("cp " + quoted(source) + " " + quoted(copied)));
            shape.processorCopy =
                std::min(shape.processorCopy, processorSeconds(true) - childrenBefore);
            std::filesystem::remove(copied);
        }
    }
    std::filesystem::remove(source);

    const double megabytes = static_cast<double>(mebibytes << 20) / 1e6;
    for (const Shape &shape : shapes) {
        std::printf("ReplChar %llu MiB, %s: %.3f s (%.0f MB/s); cp: %.3f s (%.0f MB/s)\n",
                    static_cast<unsigned long long>(mebibytes), shape.name, shape.best,
                    megabytes / shape.best, shape.bestCopy, megabytes / shape.bestCopy);
        std::printf("  processor time: ReplChar %.3f s, cp %.3f s (best runs)\n", shape.processor,
                    shape.processorCopy);
        std::printf("  ReplChar/cp ratio: %.2f (target <= 1.6)\n", shape.best / shape.bestCopy);
    }
    return 0;
}
