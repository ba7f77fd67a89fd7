#include "options.h"

#include <charconv>
#include <cstdio>

#include "hostlibs_version.h"

namespace tools {

CommandLine::CommandLine(std::string tool, std::string help)
    : tool_(std::move(tool)), help_(std::move(help)) {}

void CommandLine::flag(const std::string &name, std::function<void()> take) {
    options_.push_back({name, std::move(take), nullptr});
}

void CommandLine::option(const std::string &name,
                         std::function<std::optional<std::string>(const std::string &)> take) {
    options_.push_back({name, nullptr, std::move(take)});
}

void CommandLine::positional(const std::string &what, std::size_t least, std::size_t most) {
    positionalWhat_ = what;
    least_ = least;
    most_ = most;
}

int CommandLine::usageError(const std::string &message) const {
    std::fprintf(stderr, "%s: %s (try %s --help)\n", tool_.c_str(), message.c_str(), tool_.c_str());
    return kExitUsage;
}

std::optional<int> CommandLine::parse(int argc, char **argv) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positionals_.push_back(arg);
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(help_.c_str(), stdout);
            return kExitSuccess;
        }
        if (arg == "--version") {
            std::printf("%s %s\n", tool_.c_str(), HOSTLIBS_VERSION);
            return kExitSuccess;
        }
        // --name=value as well as --name value.
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = arg.find('='); equals != std::string::npos) {
            inlineValue = arg.substr(equals + 1);
            arg.resize(equals);
        }
        const Option *found = nullptr;
        for (const Option &option : options_)
            if (option.name == arg) found = &option;
        if (!found) return usageError("unknown option " + arg);
        if (found->flag) {
            if (inlineValue) return usageError(arg + " takes no value");
            found->flag();
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) return usageError(arg + " needs a value");
            inlineValue = argv[++i];
        }
        if (const std::optional<std::string> error = found->value(*inlineValue))
            return usageError(arg + ": " + *error);
    }
    if (positionals_.size() < least_) return usageError("no " + positionalWhat_ + " given");
    if (positionals_.size() > most_)
        return usageError("unexpected argument " + positionals_[most_]);
    return std::nullopt;
}

std::optional<int32_t> parseInt32(const std::string &text) {
    int32_t value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || text.empty()) return std::nullopt;
    return value;
}

}  // namespace tools
