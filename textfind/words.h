// Splitting text into words and the normal form that index keys use.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace textfind {

namespace detail {
inline constexpr std::string_view kSeparators = " \t\",.;:-+!%&/?()[]'";
constexpr std::array<bool, 256> makeSeparatorTable() {
    std::array<bool, 256> table{};
    for (char c : kSeparators) table[static_cast<unsigned char>(c)] = true;
    return table;
}
inline constexpr std::array<bool, 256> kSeparatorTable = makeSeparatorTable();
}  // namespace detail

// The bytes that end a word and belong to none. Line ends, digits and bytes
// from 0x80 up are word bytes. Inline: every byte of every text asks.
inline bool isSeparator(unsigned char byte) { return detail::kSeparatorTable[byte]; }

// Only a to z are folded; accented bytes of the code page keep their case.
std::string wordNormalForm(std::string_view word);
// The same into `out`, reusing its storage.
void wordNormalForm(std::string_view word, std::string &out);

// Calls visit(word) for every maximal run of non-separator bytes, in order.
template <typename Visit>
void forEachWord(std::string_view text, Visit &&visit) {
    std::size_t p = 0;
    const std::size_t n = text.size();
    while (true) {
        while (p < n && isSeparator(static_cast<unsigned char>(text[p]))) ++p;
        if (p == n) return;
        std::size_t e = p;
        while (e < n && !isSeparator(static_cast<unsigned char>(text[e]))) ++e;
        visit(text.substr(p, e - p));
        p = e;
    }
}

// The words a text gives the index: those of forEachWord, but a line break
// ends a word too, as a separator does. A query's line break joins words
// (the query's rule), and no host's query holds one, so a word that ran
// across the line break of a text would never be found.
template <typename Visit>
void forEachIndexedWord(std::string_view text, Visit &&visit) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        forEachWord(text.substr(start, end - start), visit);
        start = end + 1;
    }
}

}  // namespace textfind
