// Record scrambling.
#include <gtest/gtest.h>

#include <string>

#include "scramble.h"

namespace {

using namespace std::string_literals;

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

}  // namespace
