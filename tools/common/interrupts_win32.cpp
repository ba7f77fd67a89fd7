#include <windows.h>

#include <climits>
#include <cstring>

#include "interrupts.h"

namespace tools {

namespace {

char paths[kInterruptFiles][MAX_PATH];
volatile LONG used[kInterruptFiles];
CRITICAL_SECTION held;

// Runs on a thread of its own; waits while the work it must not cut runs.
BOOL WINAPI removeAndEnd(DWORD) {
    EnterCriticalSection(&held);
    for (int i = 0; i < kInterruptFiles; ++i)
        if (used[i]) DeleteFileA(paths[i]);
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

void installOnce() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    InitializeCriticalSection(&held);
    SetConsoleCtrlHandler(removeAndEnd, TRUE);
}

}  // namespace

void removeOnInterrupt(const std::string &path) {
    installOnce();
    if (path.size() >= MAX_PATH) return;
    EnterCriticalSection(&held);
    for (int i = 0; i < kInterruptFiles; ++i) {
        if (used[i]) continue;
        std::memcpy(paths[i], path.c_str(), path.size() + 1);
        used[i] = 1;
        break;
    }
    LeaveCriticalSection(&held);
}

void forgetOnInterrupt(const std::string &path) {
    installOnce();
    EnterCriticalSection(&held);
    for (int i = 0; i < kInterruptFiles; ++i)
        if (used[i] && path == paths[i]) used[i] = 0;
    LeaveCriticalSection(&held);
}

InterruptsHeld::InterruptsHeld() {
    installOnce();
    EnterCriticalSection(&held);
}

InterruptsHeld::~InterruptsHeld() { LeaveCriticalSection(&held); }

}  // namespace tools
