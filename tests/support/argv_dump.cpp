// Started by the launch tests: writes what it was given to the file named by
// HOSTUTIL_DUMP, one item a line, and exits with HOSTUTIL_EXIT.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    const char *dump = std::getenv("HOSTUTIL_DUMP");
    if (!dump) return 100;
    FILE *out = std::fopen(dump, "w");
    if (!out) return 101;
    char path[PATH_MAX] = {};
    if (readlink("/proc/self/exe", path, sizeof path - 1) < 0) path[0] = 0;
    std::fprintf(out, "exe=%s\n", path);
    char folder[PATH_MAX] = {};
    if (!getcwd(folder, sizeof folder)) folder[0] = 0;
    std::fprintf(out, "cwd=%s\n", folder);
    std::fprintf(out, "argc=%d\n", argc);
    for (int i = 0; i < argc; ++i) std::fprintf(out, "arg=[%s]\n", argv[i]);
    std::fclose(out);
    const char *code = std::getenv("HOSTUTIL_EXIT");
    return code ? std::atoi(code) : 0;
}
