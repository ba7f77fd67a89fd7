// Bytes shown in a line of text: control bytes, DEL and the backslash as
// \xNN, every other byte as it is (UTF-8 passes whole).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tools {

inline std::string printable(std::string_view bytes) {
    std::string out;
    for (const unsigned char c : bytes) {
        if (c >= 0x20 && c != 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

}  // namespace tools
