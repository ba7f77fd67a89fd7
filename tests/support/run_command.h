// Running a program of the tree as a shell command, for tests of the tools.
#pragma once

#include <string>

namespace test {

struct Ran {
    int status;  // the exit status, -1 when the command did not exit
    std::string output;
};

// Runs `command` with /bin/sh; `output` holds its standard output (add
// "2>&1" to take its errors too).
Ran runCommand(const std::string &command);

}  // namespace test
