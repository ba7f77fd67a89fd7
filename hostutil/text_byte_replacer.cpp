#include "text_byte_replacer.h"

namespace hostutil {

TextByteReplacer::TextByteReplacer(uint8_t from, uint8_t to)
    : lineEndsKept_(from != kCarriageReturn && from != kLineFeed) {
    for (std::size_t b = 0; b < 256; ++b)
        replaced_[b] = b == from ? to : static_cast<unsigned char>(b);
    groupRule_.from = from;
    groupRule_.to = to;
    groupRule_.lineEndsKept = lineEndsKept_;
    groupRule_.fromWrittenAsLineEnd = to == kLineFeed;
    groupRule_.avx2 = processorHasAvx2();
}

unsigned char *TextByteReplacer::emitDelivered(unsigned char *out, unsigned char delivered) const {
    const unsigned char written = replaced_[delivered];
    if (written == kLineFeed) *out++ = kCarriageReturn;
    *out++ = written;
    return out;
}

std::size_t TextByteReplacer::transform(std::span<const unsigned char> input, unsigned char *out) {
    if (ended_ || input.empty()) return 0;
    const std::size_t produced = lineEndsKept_
                                     ? transformKeepingLineEnds(input.data(), input.size(), out)
                                     : transformAnyBytes(input.data(), input.size(), out);
    previousByte_ = input.back();
    return produced;
}

// CR is written as it came, so a CR LF pair needs no look-ahead: an LF
// right after a CR completes the pair, any other LF is written as CR LF.
std::size_t TextByteReplacer::transformKeepingLineEnds(const unsigned char *in, std::size_t size,
                                                       unsigned char *out) {
    unsigned char *cursor = out;
    std::size_t i = 0;
    while (i < size) {
#if REPLACE_IN_GROUPS
        if (i + kGroupSize <= size) {
            i = copyOrdinaryRun(in, i, size, cursor, groupRule_, previousByte_);
            if (i == size) break;
        }
#endif
        const unsigned char byte = in[i];
        const unsigned char before = i > 0 ? in[i - 1] : previousByte_;
        ++i;
        if (byte == kEndOfText) {
            ended_ = true;
            break;
        }
        if (byte == kLineFeed) {
            if (before != kCarriageReturn) *cursor++ = kCarriageReturn;
            *cursor++ = kLineFeed;
            continue;
        }
        const unsigned char written = replaced_[byte];
        if (written == kLineFeed) *cursor++ = kCarriageReturn;
        *cursor++ = written;
    }
    return static_cast<std::size_t>(cursor - out);
}

// CR or LF is the from-byte: every CR waits for the byte after it.
std::size_t TextByteReplacer::transformAnyBytes(const unsigned char *in, std::size_t size,
                                                unsigned char *out) {
    unsigned char *cursor = out;
    std::size_t i = 0;
    // A CR ending the previous block pairs with an LF starting this one.
    if (pendingCarriageReturn_) {
        pendingCarriageReturn_ = false;
        if (in[0] == kLineFeed) {
            cursor = emitDelivered(cursor, kLineFeed);
            i = 1;
        } else {
            cursor = emitDelivered(cursor, kCarriageReturn);
        }
    }
    while (i < size) {
#if REPLACE_IN_GROUPS
        if (i + kGroupSize <= size) {
            i = copyOrdinaryRun(in, i, size, cursor, groupRule_, previousByte_);
            if (i == size) break;
        }
#endif
        const unsigned char byte = in[i];
        if (byte == kEndOfText) {
            ended_ = true;
            break;
        }
        if (byte == kCarriageReturn) {
            if (i + 1 == size) {
                pendingCarriageReturn_ = true;
                break;
            }
            const bool pair = in[i + 1] == kLineFeed;
            cursor = emitDelivered(cursor, pair ? kLineFeed : kCarriageReturn);
            i += pair ? 2 : 1;
            continue;
        }
        cursor = emitDelivered(cursor, byte);
        ++i;
    }
    return static_cast<std::size_t>(cursor - out);
}

std::size_t TextByteReplacer::finish(unsigned char *out) {
    if (!pendingCarriageReturn_ || ended_) return 0;
    pendingCarriageReturn_ = false;
    return static_cast<std::size_t>(emitDelivered(out, kCarriageReturn) - out);
}

}  // namespace hostutil
