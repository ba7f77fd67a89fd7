// Which postings a category selector accepts.
#include <gtest/gtest.h>

#include <string>

#include "category_filter.h"

namespace {

using namespace std::string_literals;

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

// Remembered decisions answer as the rule does for every pair of bytes, for
// each selector in turn (each forgets the one before), in a scattered order.
TEST(CategoryFilter, DecisionsAnswerAsTheRuleForEveryPair) {
    static textfind::CategoryDecisions decisions;
    for (const char *selector : {"**", "EE;MM", "**;EE", "AB;mM", "XY", "",
                                 "\xE0"
                                 "B",
                                 "**"}) {
        decisions.choose(selector);
        for (int round = 0; round < 2; ++round)
            for (uint32_t i = 0; i < 0x10000; ++i) {
                const uint32_t pair = (i * 40503u) & 0xFFFF;  // every pair once a round
                const char bytes[2] = {static_cast<char>(pair & 0xFF),
                                       static_cast<char>(pair >> 8)};
                ASSERT_EQ(decisions.accepts(pair),
                          textfind::categoryAccepts(selector, textfind::postingCategoryCode(bytes)))
                    << "selector \"" << selector << "\" pair " << pair;
            }
    }
}

}  // namespace
