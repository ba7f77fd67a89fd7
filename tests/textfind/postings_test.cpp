// The posting layout of the word index.
#include <gtest/gtest.h>

#include <string>

#include "category_filter.h"
#include "postings.h"

namespace {

using namespace std::string_literals;

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
