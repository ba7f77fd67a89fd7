// Reading a catalogue: one record per line of tab-separated fields, or CSV
// records (RFC 4180), each holding a record number, a category code and a
// text.
//
// Tab-separated lines:
//   record number   decimal, optional leading '-', a signed 32-bit integer
//   category code   0 to 2 bytes, stored as given (an empty field: empty code)
//   text            the rest of the line, tabs included, stored byte for byte
// Lines end with LF; one CR before the LF is dropped. Empty lines and lines
// starting with '#' are skipped.
//
// CSV: the same three fields, separated by the delimiter (',' unless told);
// a field in double quotes may hold the delimiter, quotes (doubled) and line
// breaks; records end with LF or CR LF; empty lines are skipped; an optional
// header row is skipped.
//
// A NUL byte anywhere is an error (the host would see a text cut short), as
// are a repeated record number and a category code of more than 2 bytes. A
// UTF-8 byte order mark at the start is skipped when the catalogue is read
// as UTF-8.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tools {
class Converter;
}

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

[[noreturn]] void failLine(std::string_view source, std::size_t line, const std::string &what);

enum class Format { kTabSeparated, kCsv };

struct ReadOptions {
    Format format = Format::kTabSeparated;
    char delimiter = ',';  // CSV only
    bool header = false;   // CSV only: the first record names the columns
    // Texts are converted with this when set; a character it cannot convert
    // is an error naming the line, or, with replaceUnconvertible, a '?'
    // counted in CatalogueReader::replaced().
    tools::Converter *converter = nullptr;
    bool replaceUnconvertible = false;
    std::size_t maxText = 0;  // a longer text is an error; 0: any length
};

// Records one at a time from a file or from bytes in memory.
class CatalogueReader {
public:
    // A file is read a block at a time (a smaller block, in tests, puts its
    // edges everywhere).
    static constexpr std::size_t kBlockSize = 1 << 20;
    CatalogueReader(std::FILE *input, std::string sourceName, ReadOptions options = {},
                    std::size_t blockSize = kBlockSize);
    CatalogueReader(std::string_view content, std::string sourceName, ReadOptions options = {});

    // The next record and the line it starts on; false at the end. Throws
    // CatalogueError for bad input, std::runtime_error when reading fails.
    bool next(CatalogueRecord &record, std::size_t &line);

    const std::string &sourceName() const { return sourceName_; }
    std::size_t replaced() const { return replaced_; }

    // Texts that could not be converted and category codes longer than 2
    // bytes do not stop the reading, so that all of them are told at once:
    // the first kListedProblems described ("SOURCE:LINE: column C of the
    // text: ..."), all counted. The caller fails the build when there are any.
    static constexpr std::size_t kListedProblems = 20;
    const std::vector<std::string> &lineProblems() const { return problems_; }
    std::size_t conversionProblemCount() const { return conversionProblems_; }
    std::size_t longCodeCount() const { return longCodes_; }
    // The catalogue's bytes read and taken so far, for progress.
    uint64_t bytesTaken() const { return bytesRead_ - (window_.size() - pos_); }
    // Read without a converter: where the catalogue is first no UTF-8
    // ("line L, column C of the text: byte 0xE8"), if it is not.
    const std::optional<std::string> &notUtf8() const { return notUtf8_; }

private:
    bool more();  // reads the next block of a file into the window
    bool nextTabSeparated(CatalogueRecord &record, std::size_t &line);
    bool nextCsv(CatalogueRecord &record, std::size_t &line);
    bool csvFields(std::vector<std::string> &fields, std::size_t &line);
    int peek();
    bool skipEmptyLines();
    bool quotedByte(std::string &field, std::size_t line);
    void fill(CatalogueRecord &record, std::string_view number, std::string_view category,
              std::string_view text, std::size_t line);
    void convertText(CatalogueRecord &record, std::string_view text, std::size_t line);
    void addProblem(std::string problem);
    std::string conversionProblem(std::string_view text, std::size_t line) const;
    void skipByteOrderMark();
    std::string delimiterHint() const;

    std::FILE *input_ = nullptr;
    std::size_t blockSize_ = kBlockSize;
    std::string sourceName_;
    ReadOptions options_;
    std::string window_;  // bytes read and not yet consumed, from pos_
    std::size_t pos_ = 0;
    bool ended_ = false;
    std::size_t lineNumber_ = 0;  // lines consumed
    bool headerSkipped_ = false;
    std::size_t replaced_ = 0;
    std::vector<std::string> fields_;
    bool started_ = false;
    std::vector<std::string> problems_;
    std::size_t conversionProblems_ = 0, longCodes_ = 0;
    uint64_t bytesRead_ = 0;
    std::optional<std::string> notUtf8_;
    std::string wideHint_;  // for a catalogue in UTF-16 or UTF-32
    // Bytes outside quotes of the CSV record being read that may be the
    // delimiter the catalogue really uses.
    std::size_t semicolons_ = 0, tabs_ = 0, bars_ = 0;
};

// The whole catalogue held in `content`, as a list; repeated record numbers
// are an error.
std::vector<CatalogueRecord> parseCatalogue(std::string_view content, std::string_view sourceName,
                                            ReadOptions options = {});

}  // namespace textfind::build
