// The benchmark catalogue: 1,000,000 records of 6 to 14 words drawn
// Zipf(1.0) from Debian's Italian word list, category codes in turn, written
// once as catalogue.tsv in the data folder and built into stores there; and
// a large one, of texts as long as real ones (60 to 90 words), whose
// stores pass 1.5 GB.
#pragma once

#include <string>
#include <vector>

namespace bench {

inline constexpr int kRecords = 1000000;

// The word list in rank order (rank 1 first), shuffled with the catalogue's
// seed so that rank and spelling are unrelated.
std::vector<std::string> rankedWords();

struct CatalogueShape {
    int minWords;
    int maxWords;
};
inline constexpr CatalogueShape kStandard{6, 14};
inline constexpr CatalogueShape kLarge{60, 90};

// Makes `folder`/catalogue.tsv and the stores built from it unless they are
// there from an earlier run with the same parameters; returns the words in
// rank order. Exits the program when the word list is missing.
std::vector<std::string> prepareBenchData(const std::string &folder,
                                          CatalogueShape shape = kStandard);

// The stop words the benchmarks use, written as `folder`/noused.txt.
void writeStopWords(const std::string &folder);
std::vector<std::string> stopWords();

}  // namespace bench
