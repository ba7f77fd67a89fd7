// Running a piece of a tool in a process of its own, so that a crash or a
// loop inside it (Berkeley DB on a damaged file) cannot take the tool down.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tools {

struct Isolated {
    bool ended = false;  // false: it crashed, or ran out of its CPU time
    int status = 0;      // its exit status, when it ended
    std::string output;  // what it wrote
};

// Runs `work`, which writes to `output` and returns an exit status, in a
// child process. Where the system cannot fork, the child is this program
// started again with `selfArguments`, and must do the same work and write
// the output to stdout.
Isolated runIsolated(const std::vector<std::string> &selfArguments,
                     const std::function<int(std::string &output)> &work);

}  // namespace tools
