// Conversions with iconv, the terminal's code page from the locale.
#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>

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

std::string Converter::convert(std::string_view text, bool replace, std::size_t &replaced) {
    std::string out(text.size() * 4 + 8, '\0');
    char *in = const_cast<char *>(text.data());
    std::size_t inLeft = text.size();
    std::size_t used = 0;
    iconv(state_->descriptor, nullptr, nullptr, nullptr, nullptr);
    while (true) {
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
        if (out.size() - used < 1) out.resize(out.size() * 2);
        out[used++] = '?';
        ++replaced;
        const std::size_t skip = characterLength(in, inLeft, state_->fromUtf8);
        in += skip;
        inLeft -= skip;
        if (inLeft == 0) break;
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
