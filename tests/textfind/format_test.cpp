// The proof's bytes: what is encoded is decoded, and nothing else is; a
// page's digest is bound to its number.
#include "format.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Every single byte changed is no proof; nor is a whole proof cut short.
template <typename Encoded, typename Decode>
void refusesEveryChangedByte(const Encoded &bytes, std::size_t covered, Decode decode) {
    for (std::size_t at = 0; at < covered; ++at) {
        auto damaged = bytes;
        damaged[at] ^= 0x01;
        EXPECT_FALSE(decode(damaged)) << "byte " << at;
    }
    EXPECT_FALSE(decode(std::span(bytes).first(bytes.size() - 1)));
}

TEST(ProofBytes, RoundTripAndRefuseAnyOtherBytes) {
    textfind::PageProof pages;
    textfind::WholeFileProof whole;
    for (std::size_t i = 0; i < textfind::kFileIdSize; ++i) {
        pages.index.id[i] = whole.index.id[i] = static_cast<unsigned char>(i + 1);
        pages.records.id[i] = whole.records.id[i] = static_cast<unsigned char>(200 - i);
    }
    pages.index.pageSize = 16384;
    pages.index.pages = 5785;
    pages.records.pageSize = 4096;
    pages.records.pages = 31238;
    pages.longestText = whole.longestText = 182;
    const auto header = textfind::encodePageProofHeader(pages);
    ASSERT_EQ(textfind::decodePageProofHeader(header), pages);
    EXPECT_EQ(textfind::pageProofLength(pages), 80u + 8u * (5785 + 31238));
    EXPECT_EQ(textfind::pageDigestOffset(pages, true, 3), 80u + 8u * (5785 + 3));
    refusesEveryChangedByte(
        header, 72, [](auto bytes) { return textfind::decodePageProofHeader(bytes).has_value(); });

    whole.index = {whole.index.id, 94781440, 0x0123456789ABCDEFull};
    whole.records = {whole.records.id, 127950848, 0xFEDCBA9876543210ull};
    const auto bytes = textfind::encodeWholeFileProof(whole);
    ASSERT_EQ(textfind::decodeWholeFileProof(bytes), whole);
    refusesEveryChangedByte(bytes, bytes.size(), [](auto changed) {
        return textfind::decodeWholeFileProof(changed).has_value();
    });
    std::vector<unsigned char> extra(bytes.begin(), bytes.end());
    extra.push_back(0);
    EXPECT_EQ(textfind::decodeWholeFileProof(extra), std::nullopt);
}

// The same bytes at another place, and a zero-filled page, have other digests.
TEST(ProofBytes, APagesDigestIsBoundToItsNumber) {
    const std::vector<unsigned char> page(4096, 0x5A), zeros(4096, 0);
    EXPECT_NE(textfind::pageDigest(7, page), textfind::pageDigest(8, page));
    EXPECT_NE(textfind::pageDigest(7, zeros), textfind::pageDigest(8, zeros));
    EXPECT_EQ(textfind::pageDigest(7, page), textfind::pageDigest(7, page));
}

}  // namespace
