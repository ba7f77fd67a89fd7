// The builder's reader of CSV catalogues. Any bytes: the same answers read
// from memory and from a file a few bytes at a time, and every record sound.
// Then a round trip: records made of the input's bytes, written as CSV with
// the options' delimiter (quoted where a field needs it, and at random where
// not, with LF or CR LF, blank lines and a header row), read back equal.
// Input: byte 0 the options, byte 1 --max-text, the rest the catalogue.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"
#include "catalogue_reading.h"
#include "check.h"

namespace {

using textfind::build::CatalogueRecord;

std::string field(std::string_view value, char delimiter, bool quote) {
    quote |= value.find_first_of(std::string{'"', '\r', '\n', delimiter}) != std::string_view::npos;
    if (!quote) return std::string(value);
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// Records from the input's bytes: each takes a number, up to two bytes of
// code and a text of the next bytes up to a 0xFF; NUL bytes are left out.
std::vector<CatalogueRecord> recordsOf(std::string_view bytes) {
    std::vector<CatalogueRecord> records;
    for (std::size_t at = 0; at < bytes.size() && records.size() < 64;) {
        CatalogueRecord r;
        const auto b = static_cast<unsigned char>(bytes[at++]);
        r.number = (b & 0x80 ? -1 : 1) * static_cast<int32_t>(records.size() * 128 + (b & 0x7F));
        for (std::size_t i = 0; i < (b & 3) % 3 && at < bytes.size(); ++i)
            if (bytes[at++] != '\0') r.category += bytes[at - 1];
        for (; at < bytes.size() && bytes[at] != '\xFF'; ++at)
            if (bytes[at] != '\0') r.text += bytes[at];
        ++at;
        records.push_back(std::move(r));
    }
    return records;
}

void roundTrip(std::string_view bytes, const fuzzing::CatalogueOptions &options, uint8_t style) {
    const std::vector<CatalogueRecord> records = recordsOf(bytes);
    const char d = options.read.delimiter;
    const char *end = style & 1 ? "\r\n" : "\n";
    std::string csv;
    if (options.read.header) csv += field("number", d, style & 2) + d + "code" + d + "text" + end;
    std::vector<std::size_t> lines;
    std::size_t line = options.read.header ? 2 : 1;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const CatalogueRecord &r = records[i];
        const bool quoteAll = style & 2 && i % 2;
        if (style & 4 && i % 3 == 1) {
            csv += end;  // a blank line between records
            ++line;
        }
        lines.push_back(line);
        csv += field(std::to_string(r.number), d, quoteAll) + d + field(r.category, d, quoteAll) +
               d + field(r.text, d, quoteAll) + end;
        for (const std::string *f : {&r.category, &r.text})
            line += static_cast<std::size_t>(std::count(f->begin(), f->end(), '\n'));
        ++line;
    }
    fuzzing::CatalogueOptions plain = options;
    plain.read.converter = nullptr;
    plain.read.maxText = 0;
    const fuzzing::Reading read = fuzzing::readCatalogue(csv, plain);
    FUZZ_CHECK(!read.error, "what was written reads back");
    FUZZ_CHECK(read.records.size() == records.size(), "every record read back");
    for (std::size_t i = 0; i < records.size(); ++i) {
        const CatalogueRecord &got = read.records[i].record;
        FUZZ_CHECK(got.number == records[i].number && got.category == records[i].category &&
                       got.text == records[i].text,
                   "each record as written");
        FUZZ_CHECK(read.records[i].line == lines[i], "on the line it starts on");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const fuzzing::CatalogueOptions options(data[0], data[1], textfind::build::Format::kCsv);
    const std::string_view content(reinterpret_cast<const char *>(data) + 2, size - 2);

    const fuzzing::Reading read = fuzzing::readCatalogue(content, options);
    FUZZ_CHECK(read == fuzzing::readCatalogueFile(content, options),
               "the same from a file read in small blocks");
    for (std::size_t i = 1; i < read.records.size(); ++i)
        FUZZ_CHECK(read.records[i].line > read.records[i - 1].line, "records in line order");
    if (options.read.maxText != 0)
        for (const fuzzing::Record &r : read.records)
            FUZZ_CHECK(r.record.text.size() <= options.read.maxText,
                       "no text stored over --max-text, converted or not");

    roundTrip(content, options, data[1]);
    return 0;
}
