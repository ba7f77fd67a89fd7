// The proof's digest is XXH64: the published values, whatever the pieces.
#include "digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::span<const unsigned char> bytesOf(const std::string &text) {
    return {reinterpret_cast<const unsigned char *>(text.data()), text.size()};
}

TEST(Digest, GivesXxh64sPublishedValuesInAnyPieces) {
    struct Row {
        std::string text;
        uint64_t value;
    };
    const Row rows[] = {
        {"", 0xEF46DB3751D8E999ull},
        {"a", 0xD24EC4F1A98C6E5Bull},
        {"abc", 0x44BC2CF5AD770999ull},
        {"Nobody inspects the spammish repetition", 0xFBCEA83C8A378BF1ull},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(textfind::digestOf(bytesOf(row.text)), row.value);
        for (std::size_t piece = 1; piece <= row.text.size(); ++piece) {
            textfind::Digest digest;
            for (std::size_t at = 0; at < row.text.size(); at += piece)
                digest.add(bytesOf(row.text.substr(at, piece)));
            EXPECT_EQ(digest.value(), row.value) << "pieces of " << piece;
        }
    }
    // Long inputs: whole stripes, a remainder, pieces across stripe ends.
    std::string long_(100003, '\0');
    for (std::size_t i = 0; i < long_.size(); ++i) long_[i] = static_cast<char>(i * 131 + 7);
    textfind::Digest pieces;
    for (std::size_t at = 0; at < long_.size(); at += 13) pieces.add(bytesOf(long_.substr(at, 13)));
    EXPECT_EQ(pieces.value(), textfind::digestOf(bytesOf(long_)));
}

}  // namespace
