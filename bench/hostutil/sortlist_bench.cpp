// SortList on 1,000,000 "number:text" items, beside `LC_ALL=C sort -t: -k1,1n
// -u` of the same items one per line (the nearest command: one line per
// number, in numeric order). Usage: sortlist_bench [folder [items]].
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "hostutil.h"
#include "stopwatch.h"

using namespace bench;

int main(int argc, char **argv) {
    const std::filesystem::path folder =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    const std::size_t count = argc > 2 ? std::stoul(argv[2]) : 1000000;

    // Keys spread over the 32-bit range, some negative, about one in ten repeated.
    std::mt19937 random(11);
    std::string list;
    const std::string lines = (folder / "sortlist-bench.txt").string();
    const std::string sorted = (folder / "sortlist-bench.sorted").string();
    {
        std::ofstream out(lines, std::ios::binary);
        for (std::size_t i = 0; i < count; ++i) {
            const int64_t key =
                static_cast<int32_t>(random() % 10 == 0 ? random() % 1000 : random());
            std::string item = std::to_string(key) + ":";
            const std::size_t length = 1 + random() % 10;
            for (std::size_t c = 0; c < length; ++c) item += static_cast<char>('a' + random() % 26);
            if (i != 0) list += ',';
            list += item;
            out << item << '\n';
        }
    }
    std::vector<char> result(list.size() + 1);

    double best = 1e9, bestSort = 1e9;
    for (int run = 0; run < 3; ++run) {
        best = std::min(best, secondsFor([&] { SortList(list.c_str(), result.data()); }));
        bestSort = std::min(bestSort, secondsForCommand("LC_ALL=C sort -t: -k1,1n -u " +
                                                        quoted(lines) + " > " + quoted(sorted)));
    }
    std::filesystem::remove(lines);
    std::filesystem::remove(sorted);

    std::printf("SortList %zu items: %.3f s (%.0f items/s); LC_ALL=C sort -t: -k1,1n -u: %.3f s\n",
                count, best, static_cast<double>(count) / best, bestSort);
    std::printf("SortList/sort ratio: %.2f\n", best / bestSort);
    return 0;
}
