// Record texts are stored XORed with a fixed 8-byte key that restarts at
// every record; applying it twice gives the text back.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace textfind {

inline constexpr std::array<unsigned char, 8> kScrambleKey = {0x3B, 0x9E, 0x07, 0xD4,
                                                              0x61, 0xA8, 0x52, 0xCF};

void scrambleInPlace(std::span<char> bytes);

}  // namespace textfind
