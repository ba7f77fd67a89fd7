// The builder's reader of tab-separated catalogues, against a model of the
// format: records, the line of the first error and its kind, where the
// catalogue is first no UTF-8; and the same answers when the catalogue is
// read from a file a few bytes at a time. Input: byte 0 the options (a
// converter to CP1252, replacement, a --max-text of byte 1, the file's
// block size), the rest the catalogue.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"
#include "catalogue_reading.h"
#include "check.h"
#include "models.h"

namespace {

using textfind::build::CatalogueRecord;

struct Expected {
    std::vector<CatalogueRecord> records;
    std::optional<std::size_t> errorLine;
    std::string errorWords;  // in the message
    std::optional<std::size_t> notUtf8Line;
    std::size_t longCodes = 0;  // told, not an error
};

std::optional<int64_t> number(std::string_view field) {
    const bool negative = !field.empty() && field[0] == '-';
    const std::string_view digits = field.substr(negative ? 1 : 0);
    if (digits.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value > INT64_MAX / 100 ? INT64_MAX / 10 : value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

Expected modelOf(std::string_view content, std::size_t maxText, bool utf8Check, bool duplicates) {
    Expected e;
    if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
    std::set<int32_t> seen;
    std::size_t line = 0;
    for (std::size_t start = 0; start < content.size();) {
        std::size_t end = content.find('\n', start);
        if (end == std::string_view::npos) end = content.size();
        std::string_view text = content.substr(start, end - start);
        start = end + 1;
        ++line;
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (text.empty() || text[0] == '#') continue;
        const auto fail = [&](const char *words) {
            e.errorLine = line;
            e.errorWords = words;
            return e;
        };
        if (text.find('\0') != std::string_view::npos) return fail("NUL byte");
        const std::size_t tab1 = text.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : text.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos) return fail("malformed line");
        const std::string_view n = text.substr(0, tab1);
        const std::string_view category = text.substr(tab1 + 1, tab2 - tab1 - 1);
        const std::string_view body = text.substr(tab2 + 1);
        const std::optional<int64_t> value = number(n);
        if (!value) return fail("is not a decimal integer");
        if (*value < INT32_MIN || *value > INT32_MAX) return fail("outside 32 bits");
        // Told with the others at the end; the record keeps its first 2 bytes.
        if (category.size() > 2) ++e.longCodes;
        if (maxText != 0 && body.size() > maxText) return fail("--max-text");
        if (utf8Check && !e.notUtf8Line && !model::validUtf8(body)) e.notUtf8Line = line;
        if (duplicates && !seen.insert(static_cast<int32_t>(*value)).second)
            return fail("duplicate record");
        e.records.push_back(
            {static_cast<int32_t>(*value), std::string(category.substr(0, 2)), std::string(body)});
    }
    return e;
}

// Conversion problems and long codes are told once every line is read,
// after any error of the model's.
bool toldAtTheEnd(const fuzzing::Reading &read) {
    return read.conversionProblemCount + read.longCodes > 0 && !read.error;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const fuzzing::CatalogueOptions options(data[0], data[1],
                                            textfind::build::Format::kTabSeparated);
    const std::string_view content(reinterpret_cast<const char *>(data) + 2, size - 2);

    const fuzzing::Reading read = fuzzing::readCatalogue(content, options);
    FUZZ_CHECK(read == fuzzing::readCatalogueFile(content, options),
               "the same from a file read in small blocks");

    const bool plain = options.read.converter == nullptr;
    // --max-text bounds the text converted, which the model does not know.
    const std::size_t maxText = plain ? options.read.maxText : 0;
    if (!plain && read.error && read.error->find("--max-text") != std::string::npos) return 0;
    const Expected expected = modelOf(content, maxText, plain, false);
    FUZZ_CHECK(read.errorLine == expected.errorLine, "an error where the model has one");
    if (expected.errorLine)
        FUZZ_CHECK(read.error->find(expected.errorWords) != std::string::npos,
                   "for the model's reason");
    const std::size_t shown = expected.errorLine ? 0 : read.records.size();
    FUZZ_CHECK(expected.errorLine || read.records.size() == expected.records.size(),
               "the model's records");
    for (std::size_t i = 0; i < shown; ++i) {
        const auto &got = read.records[i].record, &want = expected.records[i];
        FUZZ_CHECK(got.number == want.number && got.category == want.category,
                   "a record's number and code");
        FUZZ_CHECK(!plain || got.text == want.text, "its text, byte for byte");
    }
    if (!expected.errorLine) {
        FUZZ_CHECK(read.notUtf8Line == expected.notUtf8Line,
                   "where the catalogue is first no UTF-8");
        FUZZ_CHECK(read.longCodes == expected.longCodes, "every code too long told");
    }
    if (plain || options.read.replaceUnconvertible)
        FUZZ_CHECK(read.conversionProblemCount == 0, "a problem only where nothing replaces");
    if (plain) FUZZ_CHECK(read.replaced == 0, "nothing replaced without a converter");

    // The whole catalogue as a list: the reader's answer, and repeated numbers.
    const Expected whole = modelOf(content, maxText, plain, true);
    try {
        const auto records = textfind::build::parseCatalogue(content, "c", options.read);
        FUZZ_CHECK(!whole.errorLine && read.conversionProblemCount + read.longCodes == 0,
                   "a list only when sound");
        FUZZ_CHECK(records.size() == read.records.size(), "the list holds every record");
    } catch (const textfind::build::CatalogueError &e) {
        const std::optional<std::size_t> line = fuzzing::numberAfter(e.what(), "c:");
        FUZZ_CHECK(whole.errorLine ? line == whole.errorLine : toldAtTheEnd(read),
                   "the list fails on the model's line, or for what is told at the end");
    }
    return 0;
}
