// The proof's bytes: what is encoded is decoded, and nothing else is.
#include "format.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ProofBytes, RoundTripAndRefuseAnyOtherBytes) {
    textfind::Proof proof;
    for (std::size_t i = 0; i < textfind::kFileIdSize; ++i) {
        proof.index.id[i] = static_cast<unsigned char>(i + 1);
        proof.records.id[i] = static_cast<unsigned char>(200 - i);
    }
    proof.index = {proof.index.id, 94781440, 0x0123456789ABCDEFull};
    proof.records = {proof.records.id, 127950848, 0xFEDCBA9876543210ull};
    proof.longestText = 182;
    const auto bytes = textfind::encodeProof(proof);
    ASSERT_EQ(textfind::decodeProof(bytes), proof);
    // Every single byte changed, and every other length, is no proof.
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        auto damaged = bytes;
        damaged[at] ^= 0x01;
        EXPECT_EQ(textfind::decodeProof(damaged), std::nullopt) << "byte " << at;
    }
    const std::vector<unsigned char> longer(bytes.begin(), bytes.end());
    std::vector<unsigned char> extra = longer;
    extra.push_back(0);
    EXPECT_EQ(textfind::decodeProof(extra), std::nullopt);
    EXPECT_EQ(textfind::decodeProof(std::span(longer).first(longer.size() - 1)), std::nullopt);
}

}  // namespace
