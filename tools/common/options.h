// The command line of every tool, parsed one way: options declared once,
// "--help" and "--version" answered, a usage error said in one line with a
// pointer to --help, and the exit statuses all tools share.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tools {

// The exit statuses of every tool, listed in each one's --help.
enum Exit : int {
    kExitSuccess = 0,
    kExitNothing = 1,    // no record matched, or problems were found
    kExitUsage = 2,      // the command line makes no sense
    kExitCannotRun = 3,  // a file cannot be read or written, a store is unusable
};

// The lines every --help ends with; `nothing` says what status 1 means for
// the tool.
inline std::string exitStatusHelp(const std::string &nothing) {
    return "Exit status: 0 success; 1 " + nothing +
           ";\n2 a usage error; 3 the tool could not run (a file it needs cannot be read\n"
           "or written).\n";
}

class CommandLine {
public:
    // `help` is the whole --help text.
    CommandLine(std::string tool, std::string help);

    // An option without a value.
    void flag(const std::string &name, std::function<void()> take);
    // An option with a value; `take` returns an error text for a value that
    // makes no sense, or nothing.
    void option(const std::string &name,
                std::function<std::optional<std::string>(const std::string &value)> take);
    // The arguments that are no option, at least `least` and at most `most`.
    void positional(const std::string &what, std::size_t least, std::size_t most);

    // Nothing when the tool goes on; else the status to end with (the help
    // or the version printed, or a usage error reported).
    std::optional<int> parse(int argc, char **argv);
    const std::vector<std::string> &positionals() const { return positionals_; }

    // Reports a usage error found later, in the same one line.
    int usageError(const std::string &message) const;

private:
    struct Option {
        std::string name;
        std::function<void()> flag;
        std::function<std::optional<std::string>(const std::string &)> value;
    };
    std::string tool_, help_, positionalWhat_;
    std::size_t least_ = 0, most_ = 0;
    std::vector<Option> options_;
    std::vector<std::string> positionals_;
};

// A decimal integer that fits `int32_t`, or nothing.
std::optional<int32_t> parseInt32(const std::string &text);

}  // namespace tools
