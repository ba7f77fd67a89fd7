#include "catalogue.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <sstream>
#include <unordered_map>

#include "encoding.h"

namespace textfind::build {

namespace {

constexpr std::size_t kBlockSize = 1 << 20;

// False if not a decimal integer; values too long for int64 read as out of range.
bool parseRecordNumber(std::string_view field, int64_t &value) {
    const bool negative = field.starts_with('-');
    const std::string_view digits = negative ? field.substr(1) : field;
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    if (digits.size() > 12) {
        value = negative ? INT64_MIN : INT64_MAX;
        return true;
    }
    std::from_chars(field.data(), field.data() + field.size(), value);
    return true;
}

}  // namespace

void failLine(std::string_view source, std::size_t line, const std::string &what) {
    std::ostringstream message;
    message << source << ':' << line << ": " << what;
    throw CatalogueError(message.str());
}

CatalogueReader::CatalogueReader(std::FILE *input, std::string sourceName, ReadOptions options)
    : input_(input), sourceName_(std::move(sourceName)), options_(options) {}

CatalogueReader::CatalogueReader(std::string_view content, std::string sourceName,
                                 ReadOptions options)
    : sourceName_(std::move(sourceName)), options_(options), window_(content), ended_(true) {}

bool CatalogueReader::more() {
    if (ended_) return false;
    window_.erase(0, pos_);
    pos_ = 0;
    const std::size_t had = window_.size();
    window_.resize(had + kBlockSize);
    const std::size_t got = std::fread(window_.data() + had, 1, kBlockSize, input_);
    window_.resize(had + got);
    if (got < kBlockSize) {
        if (std::ferror(input_)) throw std::runtime_error(sourceName_ + ": read error");
        ended_ = true;
    }
    return got > 0;
}

bool CatalogueReader::next(CatalogueRecord &record, std::size_t &line) {
    return options_.format == Format::kCsv ? nextCsv(record, line) : nextTabSeparated(record, line);
}

void CatalogueReader::fill(CatalogueRecord &record, std::string_view number,
                           std::string_view category, std::string_view text, std::size_t line) {
    int64_t value = 0;
    if (!parseRecordNumber(number, value))
        failLine(sourceName_, line,
                 "record number \"" + std::string(number) + "\" is not a decimal integer");
    if (value < INT32_MIN || value > INT32_MAX)
        failLine(sourceName_, line, "record number " + std::string(number) + " is outside 32 bits");
    if (category.size() > 2)
        failLine(sourceName_, line,
                 "category code \"" + std::string(category) + "\" is longer than 2 bytes");
    record.number = static_cast<int32_t>(value);
    record.category.assign(category);
    if (!options_.converter) {
        record.text.assign(text);
        return;
    }
    try {
        record.text = options_.converter->convert(text, options_.replaceUnconvertible, replaced_);
    } catch (const tools::ConversionError &) {
        failLine(sourceName_, line, "the text holds a character that cannot be converted");
    }
}

bool CatalogueReader::nextTabSeparated(CatalogueRecord &record, std::size_t &line) {
    for (;;) {
        std::size_t end = window_.find('\n', pos_);
        while (end == std::string::npos && more()) end = window_.find('\n', pos_);
        if (pos_ >= window_.size() && end == std::string::npos) return false;
        if (end == std::string::npos) end = window_.size();
        std::string_view text(window_.data() + pos_, end - pos_);
        pos_ = std::min(end + 1, window_.size());
        line = ++lineNumber_;
        if (text.ends_with('\r')) text.remove_suffix(1);
        if (text.empty() || text.starts_with('#')) continue;
        if (text.find('\0') != std::string_view::npos)
            failLine(sourceName_, line, "NUL byte in line");
        const std::size_t tab1 = text.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : text.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos)
            failLine(sourceName_, line,
                     "malformed line: expected record number, TAB, category code, TAB, text");
        fill(record, text.substr(0, tab1), text.substr(tab1 + 1, tab2 - tab1 - 1),
             text.substr(tab2 + 1), line);
        return true;
    }
}

// One CSV record's fields; false at the end of the input.
bool CatalogueReader::csvFields(std::vector<std::string> &fields, std::size_t &line) {
    auto peek = [&]() -> int {
        if (pos_ >= window_.size() && !more()) return -1;
        return static_cast<unsigned char>(window_[pos_]);
    };
    for (;;) {
        // Empty lines between records are skipped.
        int c = peek();
        if (c < 0) return false;
        if (c == '\n' || c == '\r') {
            ++pos_;
            if (c == '\r' && peek() == '\n') ++pos_;
            ++lineNumber_;
            continue;
        }
        break;
    }
    line = lineNumber_ + 1;
    fields.assign(1, std::string());
    bool quoted = false, afterQuote = false, fieldStart = true;
    for (;;) {
        const int c = peek();
        if (c == 0) failLine(sourceName_, lineNumber_ + 1, "NUL byte in record");
        if (quoted) {
            if (c < 0) failLine(sourceName_, line, "quoted field never closed");
            ++pos_;
            if (c == '"') {
                if (peek() == '"') {
                    ++pos_;
                    fields.back() += '"';
                } else {
                    quoted = false;
                    afterQuote = true;
                }
                continue;
            }
            if (c == '\n') ++lineNumber_;
            fields.back() += static_cast<char>(c);
            continue;
        }
        if (c < 0 || c == '\n' || c == '\r') {
            if (c >= 0) {
                ++pos_;
                if (c == '\r' && peek() == '\n') ++pos_;
            }
            ++lineNumber_;
            return true;
        }
        ++pos_;
        if (c == options_.delimiter) {
            fields.emplace_back();
            afterQuote = false;
            fieldStart = true;
            continue;
        }
        if (afterQuote)
            failLine(sourceName_, lineNumber_ + 1, "a quoted field must end at a delimiter");
        if (c == '"') {
            if (!fieldStart)
                failLine(sourceName_, lineNumber_ + 1, "a quote inside a field that is not quoted");
            quoted = true;
            fieldStart = false;
            continue;
        }
        fieldStart = false;
        fields.back() += static_cast<char>(c);
    }
}

bool CatalogueReader::nextCsv(CatalogueRecord &record, std::size_t &line) {
    for (;;) {
        if (!csvFields(fields_, line)) return false;
        if (options_.header && !headerSkipped_) {
            headerSkipped_ = true;
            continue;
        }
        if (fields_.size() != 3)
            failLine(sourceName_, line,
                     "expected 3 fields (record number, category code, text), found " +
                         std::to_string(fields_.size()));
        fill(record, fields_[0], fields_[1], fields_[2], line);
        return true;
    }
}

std::vector<CatalogueRecord> parseCatalogue(std::string_view content, std::string_view sourceName,
                                            ReadOptions options) {
    CatalogueReader reader(content, std::string(sourceName), options);
    std::vector<CatalogueRecord> records;
    std::unordered_map<int32_t, std::size_t> firstLine;
    CatalogueRecord record;
    std::size_t line = 0;
    while (reader.next(record, line)) {
        if (auto [it, fresh] = firstLine.emplace(record.number, line); !fresh)
            failLine(sourceName, line,
                     "duplicate record number " + std::to_string(record.number) +
                         " (first on line " + std::to_string(it->second) + ")");
        records.push_back(record);
    }
    return records;
}

}  // namespace textfind::build
