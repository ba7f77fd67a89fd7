// Record texts as the record store holds them: scrambled with a key that
// restarts at every record. Input: any bytes, taken as a stored text at
// every alignment of its first bytes.
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "check.h"
#include "format.h"
#include "scramble.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static constexpr unsigned char kKey[8] = {0x3B, 0x9E, 0x07, 0xD4, 0x61, 0xA8, 0x52, 0xCF};
    for (std::size_t offset = 0; offset < 8 && offset <= size; ++offset) {
        std::vector<char> bytes(size + 1, '\x5A');
        char *text = bytes.data() + offset;
        const std::size_t length = size - offset;
        std::copy(data + offset, data + size, text);
        textfind::scrambleInPlace(std::span<char>(text, length));
        for (std::size_t i = 0; i < length; ++i)
            FUZZ_CHECK(static_cast<unsigned char>(text[i]) == (data[offset + i] ^ kKey[i % 8]),
                       "each byte XORed with the key, restarting at the text");
        for (std::size_t i = 0; i < offset; ++i)
            FUZZ_CHECK(bytes[i] == '\x5A', "nothing written before the text");
        FUZZ_CHECK(bytes[size] == '\x5A', "nothing written after the text");
        textfind::scrambleInPlace(std::span<char>(text, length));
        FUZZ_CHECK(std::memcmp(text, data + offset, length) == 0, "twice gives the text back");
    }
    FUZZ_CHECK(std::equal(std::begin(kKey), std::end(kKey), textfind::kScrambleKey.begin()),
               "the key stored texts were written with");
    return 0;
}
