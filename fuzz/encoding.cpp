// Code page conversion as the builder and the search command use it:
// UTF-8 <-> CP1252 and ISO-8859-1 -> UTF-8. What converts must convert back
// to the same bytes; what does not must fail, or with replacement give one
// '?' per character left out and nothing else changed. Input: byte 0 picks
// the direction, the rest is the text.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "check.h"
#include "encoding.h"
#include "models.h"

namespace {

struct Converters {
    tools::Converter toCp1252{"UTF-8", "CP1252"};
    tools::Converter fromCp1252{"CP1252", "UTF-8"};
    tools::Converter fromLatin1{"ISO-8859-1", "UTF-8"};
};

// CP1252 leaves these five bytes without a character.
bool cp1252Undefined(unsigned char b) {
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

// Converting with replacement: the characters that convert, in order, and a
// '?' for each that does not.
void checkReplacing(tools::Converter &converter, std::string_view text, const std::string &plain,
                    bool converted) {
    std::size_t replaced = 0;
    const std::string out = converter.convert(text, true, replaced);
    FUZZ_CHECK((replaced == 0) == converted, "replacement only where plain conversion fails");
    if (converted) FUZZ_CHECK(out == plain, "nothing replaced: the plain conversion");
    FUZZ_CHECK(replaced <= text.size(), "at most one '?' a byte");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Converters *converters = new Converters;
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char *>(data) + 1, size - 1);
    if (data[0] & 1) {
        // Every CP1252 byte but five has a character, each one of its own.
        bool defined = true;
        for (char c : text) defined &= !cp1252Undefined(static_cast<unsigned char>(c));
        std::string utf8;
        bool converted = true;
        try {
            utf8 = converters->fromCp1252.convert(text);
        } catch (const tools::ConversionError &) {
            converted = false;
        }
        FUZZ_CHECK(converted == defined, "CP1252 converts unless it holds an undefined byte");
        if (converted) {
            FUZZ_CHECK(model::validUtf8(utf8), "the result is UTF-8");
            FUZZ_CHECK(converters->toCp1252.convert(utf8) == text, "and converts back");
        }
        checkReplacing(converters->fromCp1252, text, utf8, converted);
        // ISO-8859-1 has a character for every byte: the code point is the byte.
        const std::string latin1 = converters->fromLatin1.convert(text);
        std::string expected;
        for (char c : text) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                expected += c;
            } else {
                expected += static_cast<char>(0xC0 | b >> 6);
                expected += static_cast<char>(0x80 | (b & 0x3F));
            }
        }
        FUZZ_CHECK(latin1 == expected, "ISO-8859-1 bytes are their code points");
        return 0;
    }
    std::string cp1252;
    bool converted = true;
    try {
        cp1252 = converters->toCp1252.convert(text);
    } catch (const tools::ConversionError &) {
        converted = false;
    }
    if (!model::validUtf8(text)) FUZZ_CHECK(!converted, "bytes that are no UTF-8 do not convert");
    if (converted) {
        FUZZ_CHECK(cp1252.size() <= text.size(), "one byte a character");
        FUZZ_CHECK(converters->fromCp1252.convert(cp1252) == text, "and converts back");
    }
    checkReplacing(converters->toCp1252, text, cp1252, converted);
    return 0;
}
