// The text transform of the byte replacement, block by block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "replchar_kernels.h"

namespace hostutil {

// Turns text-file bytes into text-file bytes with `from` replaced by `to`.
// Reading: CR LF is one LF, a lone CR stays, 0x1A ends the input. Writing:
// each LF becomes CR LF. Blocks may split a CR LF pair anywhere.
class TextByteReplacer {
public:
    TextByteReplacer(uint8_t from, uint8_t to);

    // Largest output of one transform() call for `inputSize` bytes.
    static constexpr std::size_t maxOutputSize(std::size_t inputSize) { return 2 * inputSize + 2; }

    // Writes the output for the next block to `out` (room for
    // maxOutputSize(input.size()) bytes) and returns how many bytes it wrote.
    std::size_t transform(std::span<const unsigned char> input, unsigned char *out);

    // Flushes a CR held back at the end of the last block (at most 2 bytes).
    std::size_t finish(unsigned char *out);

    // True once 0x1A was met: nothing more is taken.
    bool ended() const { return ended_; }

private:
    std::size_t transformKeepingLineEnds(const unsigned char *in, std::size_t size,
                                         unsigned char *out);
    std::size_t transformAnyBytes(const unsigned char *in, std::size_t size, unsigned char *out);
    unsigned char *emitDelivered(unsigned char *out, unsigned char delivered) const;

    GroupRule groupRule_;
    // Neither CR nor LF is the from-byte: CR LF pairs and lone CRs then
    // come out as they went in.
    bool lineEndsKept_;
    std::array<unsigned char, 256> replaced_{};
    unsigned char previousByte_ = 0;  // last input byte of the previous block
    bool pendingCarriageReturn_ = false;
    bool ended_ = false;
};

}  // namespace hostutil
