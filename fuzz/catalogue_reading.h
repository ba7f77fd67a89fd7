// What the catalogue harnesses share: options from an input's first bytes,
// and a catalogue read whole with the builder's reader, from memory or from
// a file in small blocks, as the answers a model can be held to.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"
#include "check.h"
#include "encoding.h"

namespace fuzzing {

struct CatalogueOptions {
    textfind::build::ReadOptions read;
    std::size_t blockSize;
    // Bit 0 a converter to CP1252, bit 1 replacement, bit 2 --max-text
    // `max`, bit 3 a header row, bits 4-5 the delimiter, bits 6-7 the block
    // size.
    CatalogueOptions(uint8_t bits, uint8_t max, textfind::build::Format format) {
        static tools::Converter *const converter = new tools::Converter("UTF-8", "CP1252");
        read.format = format;
        read.converter = bits & 1 ? converter : nullptr;
        read.replaceUnconvertible = bits & 2;
        read.maxText = bits & 4 ? max : 0;
        read.header = bits & 8;
        read.delimiter = ",;\t|"[bits >> 4 & 3];
        blockSize = std::size_t{1} << (bits >> 6 & 3) * 2;  // 1, 4, 16 or 64 bytes
    }
};

struct Record {
    textfind::build::CatalogueRecord record;
    std::size_t line;
    bool operator==(const Record &o) const {
        return record.number == o.record.number && record.category == o.record.category &&
               record.text == o.record.text && line == o.line;
    }
};

struct Reading {
    std::vector<Record> records;
    std::optional<std::string> error;
    std::optional<std::size_t> errorLine;  // from the message's "SOURCE:LINE:"
    std::vector<std::string> lineProblems;
    std::size_t conversionProblemCount = 0, longCodes = 0, replaced = 0;
    std::optional<std::size_t> notUtf8Line;  // from the note's "line L,"
    bool operator==(const Reading &) const = default;
};

inline std::optional<std::size_t> numberAfter(const std::string &text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return std::nullopt;
    std::size_t value = 0, at = prefix.size();
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return std::nullopt;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = value * 10 + static_cast<std::size_t>(text[at] - '0');
    return value;
}

inline Reading readAll(textfind::build::CatalogueReader &reader) {
    Reading r;
    textfind::build::CatalogueRecord record;
    std::size_t line = 0;
    try {
        while (reader.next(record, line)) {
            FUZZ_CHECK(line > 0, "records start on a line");
            FUZZ_CHECK(record.text.find('\0') == std::string::npos, "no NUL in a text");
            FUZZ_CHECK(record.category.size() <= 2, "codes of at most 2 bytes");
            r.records.push_back({record, line});
        }
    } catch (const textfind::build::CatalogueError &e) {
        r.error = e.what();
        r.errorLine = numberAfter(*r.error, "c:");
        FUZZ_CHECK(r.errorLine.has_value(), "an error names its line");
    }
    r.lineProblems = reader.lineProblems();
    r.conversionProblemCount = reader.conversionProblemCount();
    r.longCodes = reader.longCodeCount();
    r.replaced = reader.replaced();
    FUZZ_CHECK(r.lineProblems.size() <= reader.kListedProblems &&
                   r.lineProblems.size() <= r.conversionProblemCount + r.longCodes,
               "the first problems listed, all counted");
    for (const std::string &problem : r.lineProblems)
        FUZZ_CHECK(numberAfter(problem, "c:").has_value() &&
                       (problem.find(": column ") != std::string::npos ||
                        problem.find(": category code ") != std::string::npos),
                   "a problem names its line, and the column or the code");
    if (reader.notUtf8()) {
        r.notUtf8Line = numberAfter(*reader.notUtf8(), "line ");
        FUZZ_CHECK(r.notUtf8Line.has_value(), "the note names its line");
    }
    return r;
}

inline Reading readCatalogue(std::string_view content, const CatalogueOptions &options) {
    textfind::build::CatalogueReader reader(content, "c", options.read);
    return readAll(reader);
}

inline Reading readCatalogueFile(std::string_view content, const CatalogueOptions &options) {
    // fmemopen refuses an empty buffer; an empty file reads the same.
    std::string copy(content);
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(
        content.empty() ? std::fopen("/dev/null", "r") : fmemopen(copy.data(), copy.size(), "r"),
        std::fclose);
    FUZZ_CHECK(file != nullptr, "a file of the content's bytes");
    textfind::build::CatalogueReader reader(file.get(), "c", options.read, options.blockSize);
    return readAll(reader);
}

}  // namespace fuzzing
