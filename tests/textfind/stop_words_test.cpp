// Reading the stop-word file.
#include <gtest/gtest.h>

#include <string>

#include "stop_words.h"

namespace {

using namespace std::string_literals;
using textfind::StopWords;

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

}  // namespace
