#include "catalogue.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <sstream>
#include <unordered_map>

#include "encoding.h"
#include "utf8.h"

namespace textfind::build {

namespace {

// False if not a decimal integer; values too long for int64 read as out of range.
bool parseRecordNumber(std::string_view field, int64_t &value) {
    const bool negative = field.starts_with('-');
    const std::string_view digits = negative ? field.substr(1) : field;
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    // Leading zeros do not make a number long.
    const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
    const std::string_view significant = digits.substr(first);
    if (significant.size() > 12) {
        value = negative ? INT64_MIN : INT64_MAX;
        return true;
    }
    std::from_chars(significant.data(), significant.data() + significant.size(), value);
    if (negative) value = -value;
    return true;
}

std::string hexByte(unsigned char byte) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[byte >> 4] + digits[byte & 0xF];
}

// The column of `at` in `text`: characters for UTF-8, bytes otherwise.
std::size_t columnOf(std::string_view text, std::size_t at, bool utf8) {
    if (!utf8) return at + 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < at;) {
        const std::size_t length = tools::utf8CharacterLength(text, i);
        i += length == 0 ? 1 : length;
        ++column;
    }
    return column;
}

}  // namespace

void failLine(std::string_view source, std::size_t line, const std::string &what) {
    std::ostringstream message;
    message << source << ':' << line << ": " << what;
    throw CatalogueError(message.str());
}

CatalogueReader::CatalogueReader(std::FILE *input, std::string sourceName, ReadOptions options,
                                 std::size_t blockSize)
    : input_(input), blockSize_(blockSize), sourceName_(std::move(sourceName)), options_(options) {}

CatalogueReader::CatalogueReader(std::string_view content, std::string sourceName,
                                 ReadOptions options)
    : sourceName_(std::move(sourceName)), options_(options), window_(content), ended_(true) {}

bool CatalogueReader::more() {
    if (ended_) return false;
    window_.erase(0, pos_);
    pos_ = 0;
    const std::size_t had = window_.size();
    window_.resize(had + blockSize_);
    const std::size_t got = std::fread(window_.data() + had, 1, blockSize_, input_);
    window_.resize(had + got);
    bytesRead_ += got;
    if (got < blockSize_) {
        if (std::ferror(input_)) throw std::runtime_error(sourceName_ + ": read error");
        ended_ = true;
    }
    return got > 0;
}

bool CatalogueReader::next(CatalogueRecord &record, std::size_t &line) {
    if (!started_) skipByteOrderMark();
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
    // Read on, so that every such line is told at once.
    if (category.size() > 2) {
        ++longCodes_;
        addProblem(sourceName_ + ":" + std::to_string(line) + ": category code \"" +
                   std::string(category) + "\" is longer than 2 bytes");
    }
    record.number = static_cast<int32_t>(value);
    record.category.assign(category.substr(0, 2));
    convertText(record, text, line);
    // The bound is of the bytes stored: a conversion may lengthen a text.
    if (options_.maxText != 0 && record.text.size() > options_.maxText)
        failLine(sourceName_, line,
                 "the text is " + std::to_string(record.text.size()) + " bytes" +
                     (options_.converter ? " in " + options_.converter->to() : std::string()) +
                     ", more than --max-text " + std::to_string(options_.maxText));
}

void CatalogueReader::convertText(CatalogueRecord &record, std::string_view text,
                                  std::size_t line) {
    if (!options_.converter) {
        if (!notUtf8_) {
            if (const std::optional<std::size_t> at = tools::firstNonUtf8(text))
                notUtf8_ = "line " + std::to_string(line) + ", column " +
                           std::to_string(columnOf(text, *at, true)) + " of the text: byte " +
                           hexByte(static_cast<unsigned char>(text[*at]));
        }
        record.text.assign(text);
        return;
    }
    try {
        record.text = options_.converter->convert(text, options_.replaceUnconvertible, replaced_);
    } catch (const tools::ConversionError &) {
        ++conversionProblems_;
        addProblem(conversionProblem(text, line));
        // Read on, so that every such line is told at once.
        std::size_t ignored = 0;
        record.text = options_.converter->convert(text, true, ignored);
    }
}

void CatalogueReader::addProblem(std::string problem) {
    if (conversionProblems_ + longCodes_ <= kListedProblems)
        problems_.push_back(std::move(problem));
}

// What is wrong with the first character of `text` that does not convert.
std::string CatalogueReader::conversionProblem(std::string_view text, std::size_t line) const {
    tools::Converter &converter = *options_.converter;
    const bool utf8 = converter.fromUtf8();
    std::ostringstream place;
    place << sourceName_ << ':' << line << ": column ";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8 ? tools::utf8CharacterLength(text, at) : 1;
        const std::string where =
            place.str() + std::to_string(columnOf(text, at, utf8)) + " of the text: ";
        if (length == 0)
            return where + "byte " + hexByte(static_cast<unsigned char>(text[at])) +
                   " is no UTF-8: the catalogue is not in UTF-8 (name its code page: "
                   "--encoding FROM:" +
                   converter.to() + ")";
        try {
            converter.convert(text.substr(at, length));
        } catch (const tools::ConversionError &) {
            if (utf8)
                return where + tools::codePointName(tools::utf8CodePoint(text, at)) + " " +
                       std::string(text.substr(at, length)) + " has no form in " + converter.to() +
                       " (--replace writes '?' for it)";
            return where + "byte " + hexByte(static_cast<unsigned char>(text[at])) +
                   " is no character of " + converter.from() + " or has no form in " +
                   converter.to();
        }
        at += length;
    }
    return place.str() + "1 of the text: a character cannot be converted";
}

namespace {

// What a catalogue of two or four bytes a character looks like from its
// first bytes: a byte order mark, or the NULs of ASCII in such a form.
std::string wideForm(std::string_view head) {
    if (head.size() < 4) return "";
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(head[i]); };
    if (head.starts_with(std::string_view("\xFF\xFE\0\0", 4))) return "UTF-32LE";
    if (head.starts_with(std::string_view("\0\0\xFE\xFF", 4))) return "UTF-32BE";
    if (head.starts_with("\xFF\xFE")) return "UTF-16LE";
    if (head.starts_with("\xFE\xFF")) return "UTF-16BE";
    if (b(0) != 0 && b(1) == 0 && b(2) == 0 && b(3) == 0) return "UTF-32LE";
    if (b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) != 0) return "UTF-32BE";
    if (b(0) != 0 && b(1) == 0 && b(2) != 0 && b(3) == 0) return "UTF-16LE";
    if (b(0) == 0 && b(1) != 0 && b(2) == 0 && b(3) != 0) return "UTF-16BE";
    return "";
}

}  // namespace

void CatalogueReader::skipByteOrderMark() {
    started_ = true;
    while (window_.size() - pos_ < 4 && more()) {
    }
    const std::string_view head = std::string_view(window_).substr(pos_);
    if (const std::string form = wideForm(head); !form.empty())
        wideHint_ = " (the catalogue looks like " + form +
                    ", which is read a byte at a time: save it as UTF-8, for instance with "
                    "iconv -f " +
                    form + " -t UTF-8)";
    // Spreadsheets write one before UTF-8; it is no part of the first record.
    if (options_.converter && !options_.converter->fromUtf8()) return;
    if (head.starts_with("\xEF\xBB\xBF")) pos_ += 3;
}

// For a CSV record that did not parse: the byte that more likely separates
// its fields, when it is not the delimiter given.
std::string CatalogueReader::delimiterHint() const {
    if (tabs_ >= 2) return " (the record holds tabs: a tab-separated catalogue needs no --format)";
    const char likely = semicolons_ >= bars_ ? ';' : '|';
    if (std::max(semicolons_, bars_) == 0 || likely == options_.delimiter) return "";
    return std::string(" (the record holds '") + likely +
           "': if it separates the fields, give --delimiter '" + likely + "')";
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
            failLine(sourceName_, line, "NUL byte in line" + wideHint_);
        const std::size_t tab1 = text.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : text.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos) {
            const bool commas = tab1 == std::string_view::npos &&
                                text.find_first_of(",;") != std::string_view::npos;
            failLine(sourceName_, line,
                     std::string("malformed line: expected record number, TAB, category code, "
                                 "TAB, text") +
                         (commas ? " (the line holds no tab but commas or semicolons: for a CSV "
                                   "catalogue give --format csv)"
                                 : ""));
        }
        fill(record, text.substr(0, tab1), text.substr(tab1 + 1, tab2 - tab1 - 1),
             text.substr(tab2 + 1), line);
        return true;
    }
}

int CatalogueReader::peek() {
    if (pos_ >= window_.size() && !more()) return -1;
    return static_cast<unsigned char>(window_[pos_]);
}

// Empty lines between records are skipped; false at the end of the input.
bool CatalogueReader::skipEmptyLines() {
    for (int c; (c = peek()) >= 0; ++lineNumber_) {
        if (c != '\n' && c != '\r') return true;
        ++pos_;
        if (c == '\r' && peek() == '\n') ++pos_;
    }
    return false;
}

// One byte of a quoted field; false once the quote that ends it is read.
bool CatalogueReader::quotedByte(std::string &field, std::size_t line) {
    const int c = peek();
    if (c == 0) failLine(sourceName_, lineNumber_ + 1, "NUL byte in record" + wideHint_);
    if (c < 0) failLine(sourceName_, line, "quoted field never closed");
    ++pos_;
    if (c == '"') {
        if (peek() != '"') return false;
        ++pos_;
    } else if (c == '\n') {
        ++lineNumber_;
    }
    field += static_cast<char>(c);
    return true;
}

// One CSV record's fields; false at the end of the input.
bool CatalogueReader::csvFields(std::vector<std::string> &fields, std::size_t &line) {
    if (!skipEmptyLines()) return false;
    line = lineNumber_ + 1;
    fields.assign(1, std::string());
    semicolons_ = tabs_ = bars_ = 0;
    bool afterQuote = false, fieldStart = true;
    for (;;) {
        const int c = peek();
        if (c == 0) failLine(sourceName_, lineNumber_ + 1, "NUL byte in record" + wideHint_);
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
        semicolons_ += c == ';';
        tabs_ += c == '\t';
        bars_ += c == '|';
        if (afterQuote)
            failLine(sourceName_, lineNumber_ + 1,
                     "a quoted field must end at a delimiter" + delimiterHint());
        if (c == '"') {
            if (!fieldStart)
                failLine(sourceName_, lineNumber_ + 1,
                         "a quote inside a field that is not quoted" + delimiterHint());
            while (quotedByte(fields.back(), line)) {
            }
            afterQuote = true;
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
                         std::to_string(fields_.size()) + delimiterHint());
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
    if (!reader.lineProblems().empty()) {
        const std::size_t more = reader.conversionProblemCount() + reader.longCodeCount() - 1;
        throw CatalogueError(reader.lineProblems().front() +
                             (more > 0 ? " (and " + std::to_string(more) + " more lines)" : ""));
    }
    return records;
}

}  // namespace textfind::build
