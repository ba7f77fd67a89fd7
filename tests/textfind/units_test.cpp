// The plain building blocks: words, stop words, category filter, merging,
// scrambling and posting layout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "category_filter.h"
#include "merge.h"
#include "postings.h"
#include "scramble.h"
#include "stop_words.h"
#include "words.h"

namespace {

using namespace std::string_literals;
using textfind::StopWords;

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

TEST(StopWords, TextModeRules) {
    struct Case {
        const char *name;
        std::string raw;
        StopWords expected;
    } cases[] = {
        {"LF", "IL\nLO\n", {"IL", "LO", ""}},
        {"CR LF same as LF", "IL\r\nLO\r\n", {"IL", "LO", ""}},
        {"last line without LF", "IL\nLO", {"IL", "LO"}},
        {"lone CR stays", "IL\rLO\r\nX\r", {"IL\rLO", "X\r"}},
        {"CR CR LF keeps one CR", "IL\r\r\n", {"IL\r", ""}},
        {"0x1A ends the file", "IL\nLO\x1AGLI\nLE\n", {"IL", "LO"}},
        {"0x1A right after LF",
         "IL\n\x1A"
         "X\n",
         {"IL", ""}},
        {"blank kept", "IL \nIL\n", {"IL ", "IL", ""}},
        {"NUL ends the entry", "IL\0XX\nLO\n"s, {"IL", "LO", ""}},
        {"duplicates once", "IL\nIL\nIL", {"IL"}},
        {"empty file", "", {""}},
        {"no case change", "il\n", {"il", ""}},
    };
    for (const auto &c : cases) EXPECT_EQ(textfind::parseStopWords(c.raw), c.expected) << c.name;
}

TEST(StopWords, OverlongLineKeepsItsFirst254BytesAndReadingGoesOn) {
    const std::string head(254, 'A');
    const std::string raw =
        head + "TAIL\r\nLO\nMEZZO" + std::string(300, 'B') + "\n" + std::string(254, 'C');
    const StopWords words = textfind::parseStopWords(raw);
    const StopWords expected = {head, "LO", "MEZZO" + std::string(249, 'B'), std::string(254, 'C')};
    EXPECT_EQ(words, expected);
    EXPECT_FALSE(words.contains("TAIL"));
}

TEST(StopWords, MissingFileGivesNoEntries) {
    EXPECT_TRUE(textfind::readStopWords("/nonexistent/noused.txt").empty());
}

// Columns: EE, MM, AB, CD, eE, mM, mm, aB, E (second byte NUL), empty.
TEST(CategoryFilter, SelectorTable) {
    const std::string codes[] = {"EE", "MM", "AB", "CD", "eE", "mM", "mm", "aB", "E", ""};
    struct Row {
        std::string selector;
        std::string accepted;  // one Y or - per column
    } rows[] = {
        {"EE", "Y---Y---YY"}, {"MM", "-Y--YYYY-Y"},    {"EE;MM", "YY--YY--YY"},
        {"**", "--YY-YYY-Y"}, {"AB;CD", "--YY-Y-Y-Y"}, {"", "-----Y---Y"},
    };
    for (const Row &row : rows) {
        for (std::size_t i = 0; i < std::size(codes); ++i) {
            EXPECT_EQ(textfind::categoryAccepts(row.selector, codes[i]), row.accepted[i] == 'Y')
                << "selector \"" << row.selector << "\" code \"" << codes[i] << "\"";
        }
    }
}

TEST(CategoryFilter, MoreRules) {
    struct Case {
        std::string selector, code;
        bool accepted;
    } cases[] = {
        {"**EE", "AB", true},  // the ** rule ignores the rest of the selector
        {"*", "AB", false},    // only two leading stars count
        {"X**", "AB", false},
        {"ABCD", "BC", true},  // codes are found anywhere, ; has no meaning
        {"EE;MM", ";M", true},
        {"**", ";M", false},  // "EE;MM" contains ";M"
        {"**", "M", false},
        {"ab", "ab", false},  // the selector is compared with the capitalised code
        {"Ab", "ab", true},
        {"MM;EE", "mm", false},  // EE blocks the lowercase rule
        {"XY", "mM", true},      // no EE and the folded code is MM
        {"XY",
         "\xE0"
         "B",
         false},
        {"\xE0"
         "B",
         "\xE0"
         "B",
         true},
        {"1", "1", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(textfind::categoryAccepts(c.selector, c.code), c.accepted)
            << "selector \"" << c.selector << "\" code \"" << c.code << "\"";
}

TEST(CategoryFilter, PostingCodeEndsAtFirstNul) {
    const char two[2] = {'A', 'B'}, one[2] = {'A', '\0'}, none[2] = {'\0', 'B'};
    EXPECT_EQ(textfind::postingCategoryCode(two), "AB");
    EXPECT_EQ(textfind::postingCategoryCode(one), "A");
    EXPECT_EQ(textfind::postingCategoryCode(none), "");
}

TEST(Merge, IntersectAndUniteKeepRepetitions) {
    struct Case {
        std::vector<int32_t> a, b, intersection, union_;
    } cases[] = {
        {{}, {}, {}, {}},
        {{}, {1, 2}, {}, {1, 2}},
        {{1, 2}, {}, {}, {1, 2}},
        {{1, 3, 5}, {2, 3, 4, 5}, {3, 5}, {1, 2, 3, 4, 5}},
        {{7, 7}, {7}, {7}, {7, 7}},
        {{7}, {7, 7, 7}, {7}, {7, 7, 7}},
        {{1, 1, 2, 2, 2}, {1, 2, 2, 9}, {1, 2, 2}, {1, 1, 2, 2, 2, 9}},
        {{INT32_MIN, -1, 0}, {-1, 0, INT32_MAX}, {-1, 0}, {INT32_MIN, -1, 0, INT32_MAX}},
    };
    std::vector<int32_t> out = {42};
    for (const Case &c : cases) {
        textfind::intersectSorted(c.a, c.b, out);
        EXPECT_EQ(out, c.intersection);
        textfind::uniteSorted(c.a, c.b, out);
        EXPECT_EQ(out, c.union_);
    }
}

TEST(Scramble, KeyRestartsEveryEightBytes) {
    std::string text(9, '\0');
    textfind::scrambleInPlace(text);
    EXPECT_EQ(text, "\x3B\x9E\x07\xD4\x61\xA8\x52\xCF\x3B"s);
    std::string round = "Il nome della rosa";
    textfind::scrambleInPlace(round);
    EXPECT_NE(round, "Il nome della rosa");
    textfind::scrambleInPlace(round);
    EXPECT_EQ(round, "Il nome della rosa");
}

TEST(Postings, LayoutIsLittleEndianWithTwoCodeBytes) {
    std::string data;
    textfind::appendPosting(data, 0x01020304, "EE");
    textfind::appendPosting(data, -2, "M");
    textfind::appendPosting(data, 5, "");
    ASSERT_EQ(data.size(), 24u);
    EXPECT_EQ(data.substr(0, 8),
              "\x04\x03\x02\x01"
              "EE\0\0"s);
    EXPECT_EQ(data.substr(8, 8),
              "\xFE\xFF\xFF\xFF"
              "M\0\0\0"s);
    const textfind::Posting p = textfind::decodePosting(data, 1);
    EXPECT_EQ(p.record, -2);
    EXPECT_EQ(textfind::postingCategoryCode(p.category), "M");
    EXPECT_EQ(textfind::decodePosting(data, 2).record, 5);
}

}  // namespace
