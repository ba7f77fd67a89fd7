// Child program for the launch tests. It records how it was started in
// "child-run.txt" (its command line, then the file name it runs from), then:
//   child NAME exit CODE      ends with CODE
//   child NAME sleep MS       waits MS milliseconds before recording
//   child NAME inherit FD     also writes "inherited" to descriptor FD, which
//                             it can only have through the handle table its
//                             parent's runtime passed on
#include <windows.h>

#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) Sleep(std::atoi(argv[2]));

    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, sizeof module);
    const char *base = module;
    for (const char *p = module; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;

    if (FILE *f = std::fopen("child-run.txt", "wb")) {
        std::fprintf(f, "%s\n%s\n", GetCommandLineA(), base);
        std::fclose(f);
    }
    if (argc >= 3 && std::strcmp(argv[1], "inherit") == 0) {
        int fd = std::atoi(argv[2]);
        return _write(fd, "inherited", 9) == 9 ? 0 : 1;
    }
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
    return 0;
}
