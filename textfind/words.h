// Splitting text into words and the normal form that index keys use.
#pragma once

#include <string>
#include <string_view>

namespace textfind {

// The bytes that end a word and belong to none. Line ends, digits and bytes
// from 0x80 up are word bytes.
bool isSeparator(unsigned char byte);

// Only a to z are folded; accented bytes of the code page keep their case.
std::string wordNormalForm(std::string_view word);

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

}  // namespace textfind
