#include "bench_catalogue.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "catalogue.h"
#include "stores.h"
#include "words.h"

namespace bench {

namespace {
constexpr uint32_t kSeed = 424242;
constexpr const char *kDictionary = "/usr/share/dict/italian";
// What the cached data was made with: a change here makes it anew.
std::string parametersOf(CatalogueShape shape) {
    return "records=1000000 seed=424242 zipf=1.0 words=" + std::to_string(shape.minWords) + ".." +
           std::to_string(shape.maxWords) + " v7";
}
}  // namespace

std::vector<std::string> rankedWords() {
    std::ifstream in(kDictionary);
    std::set<std::string> normalForms;
    std::vector<std::string> words;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || std::any_of(line.begin(), line.end(), [](char c) {
                return textfind::isSeparator(static_cast<unsigned char>(c));
            }))
            continue;
        if (normalForms.insert(textfind::wordNormalForm(line)).second) words.push_back(line);
    }
    std::mt19937 rng(kSeed);
    std::shuffle(words.begin(), words.end(), rng);
    return words;
}

namespace {

void writeCatalogue(const std::vector<std::string> &words, const std::string &path,
                    CatalogueShape shape) {
    std::printf("generating %d records over %zu words...\n", kRecords, words.size());
    std::fflush(stdout);
    std::vector<double> cdf(words.size());
    double sum = 0;
    for (std::size_t r = 0; r < words.size(); ++r) cdf[r] = sum += 1.0 / static_cast<double>(r + 1);
    std::mt19937_64 rng(kSeed);
    std::uniform_real_distribution<double> uniform(0, sum);
    std::uniform_int_distribution<int> length(shape.minWords, shape.maxWords);
    const char *categories[] = {"PO", "RO", "NO", "TE", "SA", "RO", "PO", "rO"};
    std::ofstream out(path, std::ios::binary);
    std::string text;
    for (int n = 1; n <= kRecords; ++n) {
        text.clear();
        for (int w = length(rng); w > 0; --w) {
            const auto rank = static_cast<std::size_t>(
                std::lower_bound(cdf.begin(), cdf.end(), uniform(rng)) - cdf.begin());
            if (!text.empty()) text += ' ';
            text += words[std::min(rank, words.size() - 1)];
        }
        out << n << '\t' << categories[n % 8] << '\t' << text << '\n';
    }
}

}  // namespace

std::vector<std::string> prepareBenchData(const std::string &folder, CatalogueShape shape) {
    std::filesystem::create_directories(folder);
    const std::vector<std::string> words = rankedWords();
    if (words.size() < 100000) {
        std::fprintf(stderr, "%s holds too few words (is witalian installed?)\n", kDictionary);
        std::exit(1);
    }
    const std::string marker = folder + "/parameters";
    std::string cached;
    std::getline(std::ifstream(marker), cached);
    if (cached == parametersOf(shape) && std::filesystem::exists(folder + "/opere.idb") &&
        std::filesystem::exists(folder + "/opere.ddb")) {
        std::printf("reusing the catalogue and stores in %s\n", folder.c_str());
        return words;
    }
    std::filesystem::remove(marker);
    const std::string catalogue = folder + "/catalogue.tsv";
    writeCatalogue(words, catalogue, shape);
    const auto start = std::chrono::steady_clock::now();
    std::FILE *input = std::fopen(catalogue.c_str(), "rb");
    textfind::build::CatalogueReader reader(input, catalogue);
    textfind::build::StoreBuilder builder(folder, catalogue);
    textfind::build::CatalogueRecord record;
    std::size_t line = 0;
    while (reader.next(record, line)) builder.add(record, line);
    const auto summary = builder.finish();
    std::fclose(input);
    std::printf("built %zu records, %zu words in %.1f s\n", summary.records, summary.words,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    std::ofstream(marker) << parametersOf(shape) << '\n';
    return words;
}

std::vector<std::string> stopWords() {
    return {"IL",  "LO",    "LA",  "I",   "GLI", "LE",  "UN",  "UNA", "DI",
            "DA",  "IN",    "CON", "SU",  "PER", "TRA", "FRA", "E",   "O",
            "DEL", "DELLA", "CHE", "NON", "SI",  "CI",  "NE",  "MA",  "SE"};
}

void writeStopWords(const std::string &folder) {
    std::ofstream out(folder + "/noused.txt", std::ios::binary);
    for (const std::string &word : stopWords()) out << word << "\r\n";
}

}  // namespace bench
