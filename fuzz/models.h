// Models the harnesses check the code against, written from the rules
// rather than from the code: the category rule, the separators, UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace model {

inline bool separator(unsigned char b) {
    static constexpr std::string_view kSeparators(" \t\",.;:-+!%&/?()[]'", 19);
    return kSeparators.find(static_cast<char>(b)) != std::string_view::npos;
}

// Whether `selector` takes a posting whose category code is `code`.
inline bool accepts(std::string_view selector, std::string code) {
    bool lowercaseRule = false;
    if (!code.empty() && code[0] >= 'a' && code[0] <= 'z') {
        code[0] = static_cast<char>(code[0] - 'a' + 'A');
        lowercaseRule = selector.find("EE") == std::string_view::npos &&
                        (selector.find("MM") != std::string_view::npos || code == "MM");
    }
    if (selector.size() >= 2 && selector[0] == '*' && selector[1] == '*' &&
        std::string_view("EE;MM").find(code) == std::string_view::npos)
        return true;
    return lowercaseRule || selector.find(code) != std::string_view::npos;
}

// The code of a posting's two category bytes: up to the first NUL.
inline std::string code(unsigned char first, unsigned char second) {
    std::string c;
    if (first != 0) {
        c += static_cast<char>(first);
        if (second != 0) c += static_cast<char>(second);
    }
    return c;
}

// The character (RFC 3629) that starts at `at`, and its length; nothing
// for bytes that start none.
struct Character {
    uint32_t value;
    std::size_t length;
};
inline std::optional<Character> utf8At(std::string_view s, std::size_t at) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[at + i]); };
    const unsigned char lead = b(0);
    std::size_t length;
    uint32_t value, least;
    if (lead < 0x80) return Character{lead, 1};
    if (lead >= 0xC0 && lead < 0xE0) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF8) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return std::nullopt;
    }
    if (at + length > s.size()) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((b(i) & 0xC0) != 0x80) return std::nullopt;
        value = value << 6 | (b(i) & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return std::nullopt;
    return Character{value, length};
}

inline bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = utf8At(s, i);
        if (!c) return false;
        i += c->length;
    }
    return true;
}

}  // namespace model
