// The stop-word list ("noused.txt"): one entry per line, read with the
// classic text-mode rules on every platform.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace textfind {

using StopWords = std::set<std::string, std::less<>>;

// Longest entry a line yields; see parseStopWords for longer lines.
inline constexpr std::size_t kStopWordLineLimit = 254;

// Parses the raw bytes of a stop-word file. CR LF reads as LF, a lone CR is
// kept, 0x1A ends the file, a NUL ends the entry of its line. The last line
// counts even without LF (so a trailing LF adds an empty entry).
// A line longer than kStopWordLineLimit bytes yields its first
// kStopWordLineLimit bytes as an entry; the rest of that line is dropped, so
// a fragment of an overlong line never turns into a stop word of its own.
StopWords parseStopWords(std::string_view raw);

// Reads and parses the file; a file that cannot be opened gives no entries.
StopWords readStopWords(const char *path);

}  // namespace textfind
