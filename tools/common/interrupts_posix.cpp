#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "interrupts.h"

namespace tools {

namespace {

// Plain arrays: the handler may only read memory and call unlink.
char paths[kInterruptFiles][PATH_MAX];
volatile sig_atomic_t used[kInterruptFiles];
sigset_t interrupts;

void removeAndEnd(int signal) {
    for (int i = 0; i < kInterruptFiles; ++i)
        if (used[i]) unlink(paths[i]);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void installOnce() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = removeAndEnd;
    action.sa_mask = interrupts;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // Past a file-size limit a write fails (EFBIG), which the tool reports
    // and cleans up after, instead of ending it on the spot.
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

void removeOnInterrupt(const std::string &path) {
    installOnce();
    if (path.size() >= PATH_MAX) return;
    for (int i = 0; i < kInterruptFiles; ++i) {
        if (used[i]) continue;
        std::memcpy(paths[i], path.c_str(), path.size() + 1);
        used[i] = 1;
        return;
    }
}

void forgetOnInterrupt(const std::string &path) {
    for (int i = 0; i < kInterruptFiles; ++i)
        if (used[i] && path == paths[i]) used[i] = 0;
}

InterruptsHeld::InterruptsHeld() {
    installOnce();
    sigprocmask(SIG_BLOCK, &interrupts, nullptr);
}

InterruptsHeld::~InterruptsHeld() { sigprocmask(SIG_UNBLOCK, &interrupts, nullptr); }

}  // namespace tools
