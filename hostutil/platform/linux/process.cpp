// Processes with posix_spawn: the resolved path, the command line cut into
// arguments, the caller's environment, folder and open files.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <new>
#include <string>
#include <vector>

#include "backend.h"
#include "posix.h"

extern char **environ;

namespace hostutil::platform {

namespace {

struct ChildHandle {
    pid_t pid = 0;
    int status = 0;
    bool reaped = false;
};

constexpr uint32_t kStillActive = 259;

}  // namespace

namespace posix {

std::vector<std::string> splitCommandLine(const char *commandLine) {
    std::vector<std::string> words(1);
    for (const char *c = commandLine ? commandLine : ""; *c; ++c) {
        if (*c == ' ')
            words.emplace_back();
        else
            words.back() += *c;
    }
    return words;
}

}  // namespace posix

bool LinuxBackend::pathExists(const char *path) {
    struct stat info;
    return path && ::stat(path, &info) == 0;
}

int LinuxBackend::createProcess(const char *application, const char *commandLine,
                                ProcessInfo &info) {
    info = {};
    std::vector<std::string> words = posix::splitCommandLine(commandLine);
    std::vector<char *> argv;
    argv.reserve(words.size() + 1);
    for (auto &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    auto *child = new (std::nothrow) ChildHandle;
    if (!child) return ENOMEM;
    int error = posix_spawn(&child->pid, application, nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        delete child;
        return error;
    }
    info.process = child;
    return 0;
}

void LinuxBackend::waitForExit(Handle process) {
    auto *child = static_cast<ChildHandle *>(process);
    if (!child || child->reaped) return;
    while (waitpid(child->pid, &child->status, 0) < 0) {
        if (errno != EINTR) return;
    }
    child->reaped = true;
}

uint32_t LinuxBackend::exitCode(Handle process) {
    auto *child = static_cast<ChildHandle *>(process);
    if (!child || !child->reaped) return kStillActive;
    if (WIFEXITED(child->status)) return static_cast<uint32_t>(WEXITSTATUS(child->status));
    return 128u + static_cast<uint32_t>(WTERMSIG(child->status));
}

void LinuxBackend::closeHandle(Handle handle) {
    auto *child = static_cast<ChildHandle *>(handle);
    if (!child) return;
    // A handle closed before its wait still must not leave a zombie.
    if (!child->reaped) waitForExit(child);
    delete child;
}

}  // namespace hostutil::platform
