#include "stop_words.h"

#include "c_file.h"

#include <cstdio>
#include <memory>

namespace textfind {

StopWords parseStopWords(std::string_view raw) {
    StopWords words;
    std::string line;
    bool cut = false;  // NUL seen or limit reached: ignore bytes up to LF
    const std::size_t n = raw.size();
    for (std::size_t i = 0; i < n; ++i) {
        char c = raw[i];
        if (c == '\x1a') break;
        if (c == '\r' && i + 1 < n && raw[i + 1] == '\n') continue;  // CR LF -> LF
        if (c == '\n') {
            words.insert(line);
            line.clear();
            cut = false;
            continue;
        }
        if (cut) continue;
        if (c == '\0') {
            cut = true;
            continue;
        }
        line.push_back(c);
        if (line.size() == kStopWordLineLimit) cut = true;
    }
    words.insert(line);
    return words;
}

StopWords readStopWords(const char *path) {
    const CFile file(std::fopen(path, "rb"));
    if (!file) return {};
    // Read on every query: unbuffered, the stream asks the system only to
    // read, and a short read is the end (or an error, which ends it too).
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    std::string raw;
    char chunk[8192];
    std::size_t got;
    do {
        got = std::fread(chunk, 1, sizeof chunk, file.get());
        raw.append(chunk, got);
    } while (got == sizeof chunk);
    return parseStopWords(raw);
}

}  // namespace textfind
