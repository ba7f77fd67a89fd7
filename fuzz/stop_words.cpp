// The stop-word file's parser over raw file bytes.
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "stop_words.h"

namespace {

// 0x1A ends the file; CR LF ends a line like LF; a NUL ends a line's entry;
// an entry keeps at most the line's first 254 bytes; the last line counts
// even without LF.
textfind::StopWords model(std::string_view raw) {
    raw = raw.substr(0, raw.find('\x1a'));
    textfind::StopWords words;
    std::string line;
    for (std::size_t i = 0; i <= raw.size(); ++i) {
        const bool lineEnd = i == raw.size() || raw[i] == '\n' ||
                             (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n');
        if (!lineEnd) {
            line.push_back(raw[i]);
            continue;
        }
        if (raw.substr(i, 2) == "\r\n") ++i;
        std::string entry = line.substr(0, line.find('\0'));
        if (entry.size() > textfind::kStopWordLineLimit) entry.resize(textfind::kStopWordLineLimit);
        words.insert(std::move(entry));
        line.clear();
    }
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view raw(reinterpret_cast<const char *>(data), size);
    const textfind::StopWords words = textfind::parseStopWords(raw);
    for (const std::string &w : words) {
        FUZZ_CHECK(w.size() <= textfind::kStopWordLineLimit, "entries are at most 254 bytes");
        FUZZ_CHECK(w.find_first_of(std::string_view("\n\0\x1a", 3)) == std::string::npos,
                   "no LF, NUL or 0x1A in an entry");
    }
    FUZZ_CHECK(words == model(raw), "entries match the model");
    return 0;
}
