// Reading a catalogue and writing the two search stores from it.
//
// Catalogue format: one record per line, three fields separated by tabs:
//   record number   decimal, optional leading '-', a signed 32-bit integer
//   category code   0 to 2 bytes, stored as given (an empty field: empty code)
//   text            the rest of the line, tabs included, stored byte for byte
// Lines end with LF; one CR before the LF is dropped. Empty lines and lines
// starting with '#' are skipped. A NUL byte anywhere is an error, since the
// host would see a text cut short.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace textfind::build {

struct CatalogueRecord {
    int32_t number;
    std::string category;
    std::string text;
};

// Bad input; what() reads "SOURCE:LINE: problem".
class CatalogueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::vector<CatalogueRecord> parseCatalogue(std::string_view content, std::string_view sourceName);

// Throws CatalogueError for bad input, std::runtime_error if unreadable.
std::vector<CatalogueRecord> readCatalogue(const std::string &path);

struct StoreSummary {
    std::size_t records = 0;
    std::size_t words = 0;
    std::size_t longestText = 0;
};

// Writes "opere.idb" and "opere.ddb" into `folder`: each word (in the
// normal form queries use) gets one data item holding one posting per record
// that contains it, sorted by record number; texts are scrambled. Both files
// are first written under temporary names in the same folder and then
// renamed into place, so a reader never sees a half-built store. Throws
// std::runtime_error on failure, leaving the existing stores as they were.
StoreSummary writeStores(const std::vector<CatalogueRecord> &records, const std::string &folder);

}  // namespace textfind::build
