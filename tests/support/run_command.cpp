#include "run_command.h"

#include <sys/wait.h>

#include <cstdio>

namespace test {

Ran runCommand(const std::string &command) {
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {-1, ""};
    std::string output;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

}  // namespace test
