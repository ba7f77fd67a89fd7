// ReplChar's text transform fed in blocks of varying size: bytes 0 and 1 are
// the from- and to-byte, byte 2 seeds the block sizes, the rest is the file.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "check.h"
#include "replchar.h"
#include "text_byte_replacer.h"

namespace {

// Text reading (CR LF is LF, 0x1A ends), replacement, text writing (LF is
// CR LF), one byte at a time over the whole file.
std::vector<unsigned char> model(std::span<const unsigned char> in, unsigned char from,
                                 unsigned char to) {
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        unsigned char b = in[i];
        if (b == 0x1A) break;
        if (b == '\r' && i + 1 < in.size() && in[i + 1] == '\n') {
            b = '\n';
            ++i;
        }
        if (b == from) b = to;
        if (b == '\n') out.push_back('\r');
        out.push_back(b);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    const unsigned char from = data[0], to = data[1];
    uint32_t state = data[2] * 2654435761u + 1;
    const std::span<const unsigned char> file(data + 3, size - 3);

    hostutil::TextByteReplacer replacer(from, to);
    std::vector<unsigned char> produced;
    std::size_t at = 0;
    while (at < file.size()) {
        // Mostly short blocks, so that CR LF pairs straddle their edges, and
        // now and then long ones for the 32-byte path.
        state = state * 1103515245u + 12345u;
        const std::size_t pick = (state >> 16) % 100;
        std::size_t length = pick < 60   ? 1 + pick % 8
                             : pick < 90 ? 1 + (state >> 8) % 80
                                         : file.size();
        length = std::min(length, file.size() - at);

        const std::size_t room = hostutil::TextByteReplacer::maxOutputSize(length);
        GuardedBuffer out(room);
        const bool endedBefore = replacer.ended();
        const std::size_t n = replacer.transform(file.subspan(at, length),
                                                 reinterpret_cast<unsigned char *>(out.data()));
        FUZZ_CHECK(n <= room, "block output within maxOutputSize");
        FUZZ_CHECK(out.untouchedFrom(room), "nothing stored past maxOutputSize");
        FUZZ_CHECK(!endedBefore || n == 0, "nothing comes out after 0x1A");
        produced.insert(produced.end(), out.data(), out.data() + n);
        at += length;
    }
    GuardedBuffer tail(2);
    const std::size_t n = replacer.finish(reinterpret_cast<unsigned char *>(tail.data()));
    FUZZ_CHECK(n <= 2, "finish writes at most 2 bytes");
    FUZZ_CHECK(tail.untouchedFrom(2), "finish stays within its 2 bytes");
    produced.insert(produced.end(), tail.data(), tail.data() + n);

    FUZZ_CHECK(produced == model(file, from, to), "output matches the text-copy model");
    return 0;
}
