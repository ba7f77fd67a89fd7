// --version for every tool: the project's version, one line on stdout.
#pragma once

#include <cstdio>
#include <cstring>

#include "hostlibs_version.h"

namespace tools {

// True, once printed, when the only argument is --version.
inline bool printedVersion(int argc, char **argv, const char *tool) {
    if (argc != 2 || std::strcmp(argv[1], "--version") != 0) return false;
    std::printf("%s %s\n", tool, HOSTLIBS_VERSION);
    return true;
}

}  // namespace tools
