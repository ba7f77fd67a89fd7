// Splitting text into words and their normal form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "words.h"

namespace {

using namespace std::string_literals;

std::vector<std::string> wordsOf(std::string_view text) {
    std::vector<std::string> out;
    textfind::forEachWord(text, [&](std::string_view w) { out.emplace_back(w); });
    return out;
}

TEST(Words, SplitAtExactlyTheNineteenSeparators) {
    const std::string separators = " \t\",.;:-+!%&/?()[]'";
    for (int b = 0; b < 256; ++b) {
        const bool expected = separators.find(static_cast<char>(b)) != std::string::npos;
        EXPECT_EQ(textfind::isSeparator(static_cast<unsigned char>(b)), expected) << "byte " << b;
    }
}

TEST(Words, Splitting) {
    struct Case {
        std::string text;
        std::vector<std::string> words;
    } cases[] = {
        {"", {}},
        {" ,.;:", {}},
        {"l'albero", {"l", "albero"}},
        {"casa-albero,fiume", {"casa", "albero", "fiume"}},
        {"riga\nnuova\rancora", {"riga\nnuova\rancora"}},
        {"  due   parole  ", {"due", "parole"}},
        {"a*b=c<d>e_f", {"a*b=c<d>e_f"}},
        {"(uno)[due]\"tre\"", {"uno", "due", "tre"}},
        {"perch\xE9 citt\xE0", {"perch\xE9", "citt\xE0"}},
    };
    for (const Case &c : cases) EXPECT_EQ(wordsOf(c.text), c.words) << c.text;
}

TEST(Words, NormalFormFoldsOnlyAToZ) {
    EXPECT_EQ(textfind::wordNormalForm("Casa"), "CASA");
    EXPECT_EQ(textfind::wordNormalForm("az@[`{"), "AZ@[`{");
    EXPECT_EQ(textfind::wordNormalForm("\xE8\xC8\xE0x"), "\xE8\xC8\xE0X");
    EXPECT_EQ(textfind::wordNormalForm("a\r\nb1"), "A\r\nB1");
}

}  // namespace
