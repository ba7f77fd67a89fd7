// Converting text between the code pages of catalogues, stores and
// terminals, by name ("UTF-8", "CP1252", "ISO-8859-1"...).
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tools {

// A byte sequence that is no character of the source code page, or a
// character that the target has no form for.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Converter {
public:
    // Throws std::invalid_argument when either name is unknown here.
    Converter(const std::string &from, const std::string &to);
    ~Converter();
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // `text` in the target code page. A character that cannot be converted
    // throws ConversionError, or, with `replace`, becomes '?' and is counted
    // in `replaced`.
    std::string convert(std::string_view text, bool replace, std::size_t &replaced);
    std::string convert(std::string_view text) {
        std::size_t replaced = 0;
        return convert(text, false, replaced);
    }

    const std::string &from() const { return from_; }
    const std::string &to() const { return to_; }
    bool fromUtf8() const;

private:
    std::string from_, to_;
    struct State;
    std::unique_ptr<State> state_;
};

// The code page the terminal (or the console) shows text in.
std::string terminalEncoding();

// Whether stderr is a terminal, where progress may be shown; whether stdout
// is one, where words may be marked.
bool stderrIsTerminal();
bool stdoutIsTerminal();

}  // namespace tools
