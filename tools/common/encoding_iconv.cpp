// Conversions with iconv, the terminal's code page from the locale.
#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "encoding.h"

namespace tools {

struct Converter::State {
    iconv_t descriptor;
    bool fromUtf8;
};

namespace {

// How many bytes the character starting at `lead` takes: a whole UTF-8
// sequence is skipped at once when the source is UTF-8.
std::size_t characterLength(const char *lead, std::size_t left, bool utf8) {
    if (!utf8) return 1;
    const auto b = static_cast<unsigned char>(*lead);
    const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    std::size_t n = 1;
    while (n < length && n < left && (static_cast<unsigned char>(lead[n]) & 0xC0) == 0x80) ++n;
    return n;
}

bool namesUtf8(std::string name) {
    for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name == "UTF-8" || name == "UTF8";
}

}  // namespace

Converter::Converter(const std::string &from, const std::string &to) : from_(from), to_(to) {
    iconv_t descriptor = iconv_open(to.c_str(), from.c_str());
    if (descriptor == reinterpret_cast<iconv_t>(-1))
        throw std::invalid_argument("no conversion from " + from + " to " + to);
    state_ = std::make_unique<State>(State{descriptor, namesUtf8(from)});
}

bool Converter::fromUtf8() const { return namesUtf8(from_); }

Converter::~Converter() { iconv_close(state_->descriptor); }

namespace {

// glibc's iconv drops Unicode's tag characters (U+E0000 to U+E007F) that the
// target has no form for, and reports success: each is converted alone, and
// one that gives no bytes counts as a character without a form.
bool startsTagCharacter(const char *p, std::size_t left) {
    const auto *b = reinterpret_cast<const unsigned char *>(p);
    return left >= 4 && b[0] == 0xF3 && b[1] == 0xA0 && (b[2] == 0x80 || b[2] == 0x81) &&
           (b[3] & 0xC0) == 0x80;
}

const char *nextTagCharacter(const char *p, const char *end) {
    while ((p = static_cast<const char *>(std::memchr(p, '\xF3', end - p))) != nullptr) {
        if (startsTagCharacter(p, end - p)) return p;
        ++p;
    }
    return end;
}

}  // namespace

std::string Converter::convert(std::string_view text, bool replace, std::size_t &replaced) {
    std::string out(text.size() * 4 + 8, '\0');
    std::size_t used = 0;
    auto addReplacement = [&] {
        if (out.size() - used < 1) out.resize(out.size() * 2);
        out[used++] = '?';
        ++replaced;
    };
    auto convertRun = [&](const char *from, std::size_t inLeft) {
        char *in = const_cast<char *>(from);
        while (inLeft > 0) {
            char *at = out.data() + used;
            std::size_t outLeft = out.size() - used;
            const std::size_t rc = iconv(state_->descriptor, &in, &inLeft, &at, &outLeft);
            used = out.size() - outLeft;
            if (rc != static_cast<std::size_t>(-1)) break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            // EILSEQ: no form in the target, or no character of the source;
            // EINVAL: a sequence cut short at the end.
            if (!replace) throw ConversionError("a character cannot be converted");
            addReplacement();
            const std::size_t skip = characterLength(in, inLeft, state_->fromUtf8);
            in += skip;
            inLeft -= skip;
        }
    };
    iconv(state_->descriptor, nullptr, nullptr, nullptr, nullptr);
    const char *p = text.data();
    const char *const end = p + text.size();
    while (p < end) {
        const char *tag = state_->fromUtf8 ? nextTagCharacter(p, end) : end;
        convertRun(p, static_cast<std::size_t>(tag - p));
        if (tag == end) break;
        const std::size_t before = used;
        convertRun(tag, 4);
        if (used == before) {
            if (!replace) throw ConversionError("a character cannot be converted");
            addReplacement();
        }
        p = tag + 4;
    }
    // Flush the shift state of stateful encodings.
    char *at = out.data() + used;
    std::size_t outLeft = out.size() - used;
    iconv(state_->descriptor, nullptr, nullptr, &at, &outLeft);
    used = out.size() - outLeft;
    out.resize(used);
    return out;
}

std::string terminalEncoding() {
    std::setlocale(LC_CTYPE, "");
    const char *codeset = nl_langinfo(CODESET);
    return codeset && *codeset ? codeset : "UTF-8";
}

bool stderrIsTerminal() { return isatty(fileno(stderr)) != 0; }
bool stdoutIsTerminal() { return isatty(fileno(stdout)) != 0; }

}  // namespace tools
