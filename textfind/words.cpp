#include "words.h"

namespace textfind {

void wordNormalForm(std::string_view word, std::string &out) {
    out.assign(word);
    for (char &c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    }
}

std::string wordNormalForm(std::string_view word) {
    std::string out;
    wordNormalForm(word, out);
    return out;
}

}  // namespace textfind
