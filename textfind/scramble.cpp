#include "scramble.h"

namespace textfind {

void scrambleInPlace(std::span<char> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(static_cast<unsigned char>(bytes[i]) ^
                                     kScrambleKey[i % kScrambleKey.size()]);
    }
}

}  // namespace textfind
