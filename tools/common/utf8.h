// UTF-8 as the tools need it to explain a catalogue: where its first byte
// that is no UTF-8 lies, and which character starts at a place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tools {

// The length of the well-formed UTF-8 character at `at`, or 0 when the bytes
// there are none (a stray continuation, an overlong or cut sequence, a
// surrogate, a value past U+10FFFF).
inline std::size_t utf8CharacterLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 0;
    const unsigned char second = byte(1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

// The place of the first byte that is no UTF-8, or nothing.
inline std::optional<std::size_t> firstNonUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8CharacterLength(text, at);
        if (length == 0) return at;
        at += length;
    }
    return std::nullopt;
}

// The code point of the well-formed character at `at`.
inline uint32_t utf8CodePoint(std::string_view text, std::size_t at) {
    const std::size_t length = utf8CharacterLength(text, at);
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    if (length <= 1) return byte(0);
    uint32_t value = byte(0) & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) value = value << 6 | (byte(i) & 0x3F);
    return value;
}

// "U+2603", at least four hex digits.
inline std::string codePointName(uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (int shift = 20; shift >= 0; shift -= 4)
        if (shift < 16 || (value >> shift) != 0) hex += digits[(value >> shift) & 0xF];
    while (hex.size() > 4 && hex[0] == '0') hex.erase(0, 1);
    return "U+" + hex;
}

}  // namespace tools
