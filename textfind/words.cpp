#include "words.h"

#include <array>

namespace textfind {

namespace {

constexpr std::string_view kSeparators = " \t\",.;:-+!%&/?()[]'";

constexpr std::array<bool, 256> makeSeparatorTable() {
    std::array<bool, 256> table{};
    for (char c : kSeparators) table[static_cast<unsigned char>(c)] = true;
    return table;
}

constexpr std::array<bool, 256> kSeparatorTable = makeSeparatorTable();

}  // namespace

bool isSeparator(unsigned char byte) { return kSeparatorTable[byte]; }

std::string wordNormalForm(std::string_view word) {
    std::string out(word);
    for (char &c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    }
    return out;
}

}  // namespace textfind
