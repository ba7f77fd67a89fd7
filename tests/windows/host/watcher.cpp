#include "watcher.h"

#include <dlgs.h>

#include <cstring>

namespace test {

namespace {

struct Watcher {
    CRITICAL_SECTION lock;
    std::vector<std::string> messages;  // texts of the dismissed boxes
    std::vector<std::string> dialogs;   // captions of the answered dialogs
    volatile LONG dialogButton = 0;     // IDOK or IDCANCEL; 0 means "not expected"
    volatile LONG stop = 0;
    DWORD mainThread = 0;
    HANDLE thread = nullptr;
} watcher;

struct FindDialog {
    HWND found = nullptr;
};

BOOL CALLBACK findDialog(HWND hwnd, LPARAM param) {
    char cls[32] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(hwnd)) {
        char caption[128] = "";
        GetWindowTextA(hwnd, caption, sizeof caption);
        if (std::strcmp(caption, "Prn Bypass") != 0) {
            reinterpret_cast<FindDialog *>(param)->found = hwnd;
            return FALSE;
        }
    }
    return TRUE;
}

// The outer time limit of the run ends a window that never goes.
void waitGone(HWND hwnd) {
    while (IsWindow(hwnd)) Sleep(10);
}

// The print dialog has filled its controls: the printer list shows a choice
// and OK can be pressed.
bool dialogReady(HWND dialog) {
    HWND ok = GetDlgItem(dialog, IDOK);
    if (!ok || !IsWindowEnabled(ok)) return false;
    HWND printers = GetDlgItem(dialog, cmb4);
    return !printers || SendMessageA(printers, CB_GETCURSEL, 0, 0) != CB_ERR;
}

DWORD WINAPI watch(void *) {
    while (!watcher.stop) {
        HWND box = FindWindowA("#32770", "Prn Bypass");
        if (box && IsWindowVisible(box)) {
            char text[512] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            EnterCriticalSection(&watcher.lock);
            watcher.messages.push_back(text);
            LeaveCriticalSection(&watcher.lock);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            waitGone(box);
            continue;
        }
        FindDialog dialog;
        EnumThreadWindows(watcher.mainThread, findDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog.found) {
            while (IsWindow(dialog.found) && !dialogReady(dialog.found)) Sleep(10);
            char caption[128] = "";
            GetWindowTextA(dialog.found, caption, sizeof caption);
            LONG button = watcher.dialogButton;
            EnterCriticalSection(&watcher.lock);
            watcher.dialogs.push_back(button ? caption : std::string("unexpected: ") + caption);
            LeaveCriticalSection(&watcher.lock);
            PostMessageA(dialog.found, WM_COMMAND, button ? button : IDCANCEL, 0);
            waitGone(dialog.found);
            continue;
        }
        Sleep(20);
    }
    return 0;
}

}  // namespace

void startWatcher() {
    InitializeCriticalSection(&watcher.lock);
    watcher.mainThread = GetCurrentThreadId();
    watcher.thread = CreateThread(nullptr, 0, watch, nullptr, 0, nullptr);
}

void stopWatcher() {
    InterlockedExchange(&watcher.stop, 1);
    WaitForSingleObject(watcher.thread, 5000);
    CloseHandle(watcher.thread);
}

std::vector<std::string> takeMessages() {
    EnterCriticalSection(&watcher.lock);
    std::vector<std::string> out;
    out.swap(watcher.messages);
    LeaveCriticalSection(&watcher.lock);
    return out;
}

std::vector<std::string> takeDialogs() {
    EnterCriticalSection(&watcher.lock);
    std::vector<std::string> out;
    out.swap(watcher.dialogs);
    LeaveCriticalSection(&watcher.lock);
    return out;
}

void answerDialogsWith(LONG button) { InterlockedExchange(&watcher.dialogButton, button); }

}  // namespace test
