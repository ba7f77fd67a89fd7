// Conversions through UTF-16 with the system's code pages; the terminal's
// code page is the console's, or the ANSI code page when output goes to a
// file.
#include <windows.h>

#include <io.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <vector>

#include "encoding.h"

namespace tools {

namespace {

UINT codePageOf(std::string name) {
    for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const std::map<std::string, UINT> named = {
        {"UTF-8", CP_UTF8},  {"UTF8", CP_UTF8},      {"ISO-8859-1", 28591},
        {"LATIN1", 28591},   {"ISO-8859-15", 28605}, {"ASCII", 20127},
        {"US-ASCII", 20127}, {"WINDOWS-1252", 1252}, {"WINDOWS-1250", 1250},
    };
    if (auto found = named.find(name); found != named.end()) return found->second;
    if (name.rfind("CP", 0) == 0 && name.size() > 2)
        return static_cast<UINT>(std::stoul(name.substr(2)));
    throw std::invalid_argument("unknown code page " + name);
}

bool namesUtf8(const std::string &name) { return codePageOf(name) == CP_UTF8; }

}  // namespace

struct Converter::State {
    UINT from, to;
};

Converter::Converter(const std::string &from, const std::string &to) : from_(from), to_(to) {
    state_ = std::make_unique<State>(State{codePageOf(from), codePageOf(to)});
    CPINFO info;
    if (!GetCPInfo(state_->from, &info) || !GetCPInfo(state_->to, &info))
        throw std::invalid_argument("no conversion from " + from + " to " + to);
}

bool Converter::fromUtf8() const { return namesUtf8(from_); }

Converter::~Converter() = default;

std::string Converter::convert(std::string_view text, bool replace, std::size_t &replaced) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const DWORD strict = state_->from == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    int wide = MultiByteToWideChar(state_->from, strict, text.data(), size, nullptr, 0);
    if (wide == 0) {
        if (!replace) throw ConversionError("a byte sequence is no character of the source");
        wide = MultiByteToWideChar(state_->from, 0, text.data(), size, nullptr, 0);
    }
    std::vector<wchar_t> utf16(static_cast<std::size_t>(wide));
    MultiByteToWideChar(state_->from, replace ? 0 : strict, text.data(), size, utf16.data(), wide);
    BOOL lost = FALSE;
    const bool checks = state_->to != CP_UTF8 && state_->to != 65000;
    int bytes = WideCharToMultiByte(state_->to, 0, utf16.data(), wide, nullptr, 0, "?",
                                    checks ? &lost : nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(state_->to, 0, utf16.data(), wide, out.data(), bytes, "?",
                        checks ? &lost : nullptr);
    if (lost) {
        if (!replace) throw ConversionError("a character has no form in the target");
        char one[8];
        for (wchar_t c : utf16) {
            BOOL thisLost = FALSE;
            WideCharToMultiByte(state_->to, 0, &c, 1, one, sizeof one, "?", &thisLost);
            if (thisLost) ++replaced;
        }
    }
    return out;
}

std::string terminalEncoding() {
    const UINT console = GetConsoleOutputCP();
    if (console != 0 && _isatty(_fileno(stdout))) return "CP" + std::to_string(console);
    return "CP" + std::to_string(GetACP());
}

bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
bool stdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

}  // namespace tools
