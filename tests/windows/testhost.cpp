// Test host: loads textfind.dll and hostutil.dll as a host application does
// (LoadLibraryA, GetProcAddress by name) and runs each export against real
// Windows services: stores on disk, the spooler, the print dialog, child
// processes, the clock and an ODBC data source.
//
// usage: testhost PRINTER PORT-FILE ODBC-CONNECTION-STRING
// Runs in a folder holding the search stores and child.exe. Prints one line
// per case and "N passed, M failed"; exits 1 on any failure.
#include <windows.h>
#include <dlgs.h>
#include <sql.h>
#include <sqlext.h>
#include <winspool.h>

#include <io.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exports_table.h"
#include "hostutil.h"
#include "textfind.h"

namespace {

// ---- Exports, resolved by name ------------------------------------------

// One slot per export, typed by the headers' declaration.
struct Exports {
#define EXPORT_SLOT(library, name, count) decltype(&::name) name;
    HOSTLIBS_EXPORTS(EXPORT_SLOT)
#undef EXPORT_SLOT
};
Exports api;

// ---- Reporting ------------------------------------------------------------

int passed = 0;
int failed = 0;

// One case: a name and the list of expectations that did not hold.
class Case {
public:
    explicit Case(const char *name) : name_(name) {}
    Case(const Case &) = delete;
    Case &operator=(const Case &) = delete;
    ~Case() {
        if (problems_.empty()) {
            ++passed;
            std::printf("ok   %s\n", name_.c_str());
        } else {
            ++failed;
            std::printf("FAIL %s\n", name_.c_str());
            for (const auto &p : problems_) std::printf("       %s\n", p.c_str());
        }
        std::fflush(stdout);
    }
    bool expect(bool condition, const char *format, ...) __attribute__((format(printf, 3, 4))) {
        if (!condition) {
            char text[600];
            va_list args;
            va_start(args, format);
            std::vsnprintf(text, sizeof text, format, args);
            va_end(args);
            problems_.push_back(text);
        }
        return condition;
    }
    bool expectInt(long actual, long expected, const char *what) {
        return expect(actual == expected, "%s: got %ld, expected %ld", what, actual, expected);
    }
    bool expectText(const std::string &actual, const std::string &expected, const char *what) {
        return expect(actual == expected, "%s: got \"%s\", expected \"%s\"", what,
                      printable(actual).c_str(), printable(expected).c_str());
    }
    static std::string printable(const std::string &s) {
        std::string out;
        for (unsigned char c : s) {
            if (c >= 0x20 && c < 0x7F && c != '\\') {
                out += static_cast<char>(c);
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            }
        }
        return out;
    }

private:
    std::string name_;
    std::vector<std::string> problems_;
};

// ---- Files ----------------------------------------------------------------

bool writeFile(const std::string &path, const std::string &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool readFile(const std::string &path, std::string &bytes) {
    bytes.clear();
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return true;
}

// Every byte value, line ends of both kinds and 0x1A, longer than one
// 4096-byte transfer and not a multiple of it.
std::string binaryPattern(size_t size, unsigned seed) {
    std::string s(size, '\0');
    unsigned x = seed;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(i < 256 ? i : (x >> 16) & 0xFF);
    }
    if (size > 300) s.replace(260, 5, "\r\n\x1a\n\r");
    return s;
}

// ---- Watcher: answers the modal windows the exports open ------------------

// A second thread plays the user: it dismisses every "Prn Bypass" message
// box with OK, recording its text, and answers the print dialog that the
// main thread opens with the button the current case asks for.
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

// ---- Loading ----------------------------------------------------------------

template <typename F>
bool resolve(Case &c, HMODULE module, const char *name, F &slot) {
    FARPROC p = GetProcAddress(module, name);
    c.expect(p != nullptr, "GetProcAddress(%s) failed", name);
    slot = reinterpret_cast<F>(reinterpret_cast<void *>(p));
    return p != nullptr;
}

bool loadLibraries() {
    Case c("load both DLLs and resolve every export by name");
    HMODULE textfind = LoadLibraryA("textfind.dll");
    HMODULE hostutil = LoadLibraryA("hostutil.dll");
    if (!c.expect(textfind && hostutil, "LoadLibraryA failed: %lu", GetLastError())) return false;
    bool ok = true;
#define RESOLVE(library, name, count) ok &= resolve(c, library, #name, api.name);
    HOSTLIBS_EXPORTS(RESOLVE)
#undef RESOLVE
    // Only the interface is exported: no decorated or internal names.
    c.expect(!GetProcAddress(textfind, "ScanDB@12") && !GetProcAddress(textfind, "_ScanDB@12"),
             "textfind exports a decorated name");
    c.expect(!GetProcAddress(hostutil, "RunPrg@24") && !GetProcAddress(hostutil, "_RunPrg@24"),
             "hostutil exports a decorated name");
    return ok;
}

// ---- textfind -------------------------------------------------------------

// The stores hold (record, category, text):
//   1 EE "Il gatto nero"   2 MM "Il cane bianco"   3 AB "Gatto e cane"
//   5 EE ""                7 mM "Casa rossa"
// and noused.txt holds IL and E.
const char *const kAll = "EE;MM;AB";

std::vector<std::string> drain() {
    std::vector<std::string> texts;
    char buffer[1024];
    for (int i = 0; i < 20; ++i) {
        std::memset(buffer, '#', sizeof buffer);
        int32_t r = api.ResSet(buffer);
        if (r == 0) break;
        texts.push_back(r == 1 ? std::string(buffer) : "result " + std::to_string(r));
    }
    return texts;
}

std::string joined(const std::vector<std::string> &v) {
    std::string s;
    for (const auto &x : v) s += (s.empty() ? "" : "|") + x;
    return s;
}

void textfindSuite() {
    {
        Case c("FindDB delivers unscrambled records, -3 for a missing one");
        char buffer[256];
        std::memset(buffer, '#', sizeof buffer);
        c.expectInt(api.FindDB(1, buffer), 1, "FindDB(1)");
        c.expectText(buffer, "Il gatto nero", "record 1");
        c.expect(buffer[14] == '#', "FindDB wrote past the terminator");
        std::memset(buffer, '#', sizeof buffer);
        c.expectInt(api.FindDB(5, buffer), 1, "FindDB(5)");
        c.expect(buffer[0] == 0 && buffer[1] == '#', "empty record is not a lone NUL");
        std::memset(buffer, '#', sizeof buffer);
        c.expectInt(api.FindDB(99, buffer), -3, "FindDB(99)");
        c.expect(buffer[0] == '#', "buffer touched for a missing record");
    }
    {
        Case c("ResSet on the empty result set gives 0");
        char buffer[16] = "untouched";
        c.expectInt(api.ResSet(buffer), 0, "ResSet");
        c.expectText(buffer, "untouched", "buffer");
    }
    {
        Case c("ScanDB any word: union, drained highest first");
        c.expectInt(api.ScanDB("gatto cane", 0, kAll), 3, "ScanDB");
        c.expectText(joined(drain()), "Gatto e cane|Il cane bianco|Il gatto nero", "records");
    }
    {
        Case c("ScanDB all words: intersection, case folded");
        c.expectInt(api.ScanDB("GATTO Cane", 1, kAll), 1, "ScanDB");
        c.expectText(joined(drain()), "Gatto e cane", "records");
    }
    {
        Case c("ScanDB drops stop words; a leading one is not the first word");
        c.expectInt(api.ScanDB("il gatto", 1, kAll), 2, "ScanDB");
        c.expectText(joined(drain()), "Gatto e cane|Il gatto nero", "records");
        c.expectInt(api.ScanDB("il e", 0, kAll), 0, "only stop words");
    }
    {
        Case c("ScanDB category selector filters postings");
        c.expectInt(api.ScanDB("gatto", 0, "EE"), 1, "selector EE");
        c.expectText(joined(drain()), "Il gatto nero", "records");
        c.expectInt(api.ScanDB("casa", 0, "**"), 1, "selector ** accepts mM");
        c.expectInt(api.ScanDB("casa", 0, "EE"), 0, "selector EE rejects mM");
    }
    {
        Case c("ScanDB separators and absent words");
        c.expectInt(api.ScanDB("gatto;'cane'", 0, kAll), 3, "separators split words");
        drain();
        c.expectInt(api.ScanDB("assente gatto", 1, kAll), 0, "absent first word, all words");
        c.expectInt(api.ScanDB("assente gatto", 0, kAll), 2, "absent word, any word");
        drain();
        c.expectInt(api.ScanDB("", 1, kAll), 0, "empty query");
    }
    {
        Case c("missing stores give -2 and keep the result set");
        c.expectInt(api.ScanDB("gatto", 0, kAll), 2, "ScanDB");
        char here[MAX_PATH];
        GetCurrentDirectoryA(sizeof here, here);
        CreateDirectoryA("empty", nullptr);
        SetCurrentDirectoryA("empty");
        c.expectInt(api.ScanDB("cane", 0, kAll), -2, "ScanDB without opere.idb");
        char buffer[64] = "";
        c.expectInt(api.FindDB(1, buffer), -2, "FindDB without opere.ddb");
        c.expectInt(api.ResSet(buffer), -2, "ResSet without opere.ddb");
        SetCurrentDirectoryA(here);
        c.expectText(joined(drain()), "Gatto e cane|Il gatto nero", "earlier result set");
    }
}

// ---- Lists, memory variables, byte replacement ---------------------------

void sortCases() {
    Case c("SortList and SortList2");
    char out[256];
    c.expectInt(api.SortList("3:zz,1:xx,2:yy", out), 0, "SortList");
    c.expectText(out, "xx,yy,zz", "SortList by number");
    api.SortList("10:x,9:y,-1:neg,9:z", out);
    c.expectText(out, "neg,z,x", "numeric order, later text wins");
    std::strcpy(out, "untouched");
    c.expectInt(api.SortList("", out), -1, "SortList empty");
    c.expectText(out, "untouched", "SortList empty buffer");
    c.expectInt(api.SortList2("pear,apple,fig,apple", out), 0, "SortList2");
    c.expectText(out, "apple,fig,pear", "SortList2 byte order, repeats dropped");
    api.SortList2("\xe8x,zeta,,Zeta", out);
    c.expectText(out, ",Zeta,zeta,\xe8x", "SortList2 unsigned bytes");
    std::strcpy(out, "untouched");
    c.expectInt(api.SortList2("", out), -1, "SortList2 empty");
    c.expectText(out, "untouched", "SortList2 empty buffer");
}

std::string memEntry(const std::string &name, unsigned char type, const std::string &value) {
    std::string e(32, '\0');
    e.replace(0, name.size(), name);
    e[11] = static_cast<char>(type);
    return e + value;
}

void vedivarCases() {
    Case c("VEDIVAR reads character and logical variables");
    std::string file = memEntry("NOME", 0xC3, std::string("Mario\r\n\x1a", 8) + '\0') +
                       memEntry("FLAG", 0xCC, std::string(1, '\1')) +
                       memEntry("OFF", 0xCC, std::string(1, '\0')) +
                       memEntry("NUM", 0xCE, std::string(8, '\x40')) + "\x1a\x1a\x1a";
    c.expect(writeFile("vars.mem", file) && writeFile("empty.mem", ""), "cannot write files");
    char out[64];
    std::memset(out, '#', sizeof out);
    c.expectInt(api.VEDIVAR("vars.mem", "NOME", out), 1, "NOME");
    c.expect(std::memcmp(out, "Mario\r\n\x1a\0#", 10) == 0, "NOME value read with text rules");
    c.expectInt(api.VEDIVAR("vars.mem", "FLAG", out), 1, "FLAG");
    c.expectText(out, "T", "FLAG value");
    c.expectInt(api.VEDIVAR("vars.mem", "OFF", out), 1, "OFF");
    c.expectText(out, "F", "OFF value");
    std::strcpy(out, "kept");
    c.expectInt(api.VEDIVAR("vars.mem", "NUM", out), 1, "NUM");
    c.expectText(out, "kept", "other types leave the buffer");
    c.expectInt(api.VEDIVAR("vars.mem", "nome", out), -1, "lower case name");
    c.expectInt(api.VEDIVAR("missing.mem", "NOME", out), -2, "missing file");
    c.expectInt(api.VEDIVAR("empty.mem", "NOME", out), -3, "empty file");
}

void replcharCases() {
    Case c("ReplChar copies as text with one byte replaced");
    std::string out;
    writeFile("r1.txt", "a;b;z");
    c.expectInt(api.ReplChar("r1.txt", "r1.out", 0x13B, ','), 1, "ReplChar");
    readFile("r1.out", out);
    c.expectText(out, "a,b,z", "semicolons");
    writeFile("r2.txt", "x\r\ny\nz\r");
    c.expectInt(api.ReplChar("r2.txt", "r2.out", '#', '#'), 1, "ReplChar");
    readFile("r2.out", out);
    c.expectText(out, "x\r\ny\r\nz\r", "line ends");
    writeFile("r3.txt", "x\r\ny");
    api.ReplChar("r3.txt", "r3.out", '\n', ' ');
    readFile("r3.out", out);
    c.expectText(out, "x y", "line end replaced");
    writeFile("r4.txt", "ab\x1ayz");
    api.ReplChar("r4.txt", "r4.out", ';', ',');
    readFile("r4.out", out);
    c.expectText(out, "ab", "0x1A ends the input");
    writeFile("r5.txt", "a\xff;b");
    api.ReplChar("r5.txt", "r5.out", -1, ';');
    readFile("r5.out", out);
    c.expectText(out, "a;;b", "from-byte -1 is 0xFF");
    c.expectInt(api.ReplChar("missing.txt", "r6.out", ';', ','), 0, "missing source");
    c.expectInt(api.ReplChar("r1.txt", "no\\such\\folder\\r.out", ';', ','), 0,
                "destination folder missing");
}

// ---- Process launch and clock ---------------------------------------------

std::vector<std::string> childRun() {
    std::string s;
    std::vector<std::string> lines;
    if (!readFile("child-run.txt", s)) return lines;
    size_t start = 0;
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] == '\n') {
            lines.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    return lines;
}

void runPrgCases() {
    {
        Case c("RunPrg starts the child with the joined command line and waits");
        DeleteFileA("child-run.txt");
        c.expectInt(api.RunPrg("child", "child", "sleep", "400", "", "end"), 0, "RunPrg");
        auto lines = childRun();
        c.expect(lines.size() == 2, "the child had not finished when RunPrg returned");
        if (lines.size() == 2) {
            c.expectText(lines[0], "child sleep 400  end", "command line");
            c.expectText(lines[1], "child.exe", "program");
        }
        DeleteFileA("child-run.txt");
        c.expectInt(api.RunPrg("child.exe", "named", nullptr, "ignored", nullptr, nullptr), 0,
                    "RunPrg with extension");
        lines = childRun();
        c.expect(lines.size() == 2 && lines[0] == "named", "command line after a null word");
        DeleteFileA("child-run.txt");
        c.expectInt(api.RunPrg("child", "", "a", "b", nullptr, nullptr), 0, "empty first word");
        lines = childRun();
        // Wine shows an empty command line as the quoted program path.
        c.expect(lines.size() == 2 && (lines[0].empty() || lines[0] == "\".\\child.exe\""),
                 "command line not empty: \"%s\"", lines.empty() ? "(no run)" : lines[0].c_str());
    }
    {
        Case c("RunPrg tries .com .exe .bat .cmd in the current folder only");
        CopyFileA("child.exe", "prog.exe", FALSE);
        writeFile("prog.bat", "@exit 0\r\n");
        DeleteFileA("child-run.txt");
        c.expectInt(api.RunPrg("prog", "prog", "a", nullptr, nullptr, nullptr), 0, "RunPrg");
        auto lines = childRun();
        c.expect(lines.size() == 2 && lines[0] == "prog a" && lines[1] == "prog.exe",
                 "prog.exe not started as \"prog a\"");
        writeFile("script.bat", "@echo off\r\necho bat> bat-ran.txt\r\n");
        DeleteFileA("bat-ran.txt");
        c.expectInt(api.RunPrg("script", "script", nullptr, nullptr, nullptr, nullptr), 0,
                    "RunPrg of a batch file");
        std::string bat;
        c.expect(readFile("bat-ran.txt", bat) && bat.rfind("bat", 0) == 0,
                 "the batch file did not run: \"%s\"", bat.c_str());
        c.expectInt(api.RunPrg("nosuchprog", "x", nullptr, nullptr, nullptr, nullptr), 2,
                    "missing program");
        c.expectInt(api.RunPrg("tool.exe", "tool", nullptr, nullptr, nullptr, nullptr), 2,
                    "missing program with extension");
        // On the search path but not here.
        c.expectInt(api.RunPrg("cmd", "cmd", "/c", "exit", nullptr, nullptr), 2,
                    "program only on the search path");
    }
    {
        Case c("RunPrg ignores the exit code");
        c.expectInt(api.RunPrg("child", "child", "exit", "3", nullptr, nullptr), 0, "exit 3");
        c.expectInt(api.RunPrg("child", "child", "exit", "-1", nullptr, nullptr), 0, "exit -1");
    }
    {
        Case c("RunPrg maps launch failures to errno values");
        writeFile("notprog.exe", "this is not a program\r\n");
        c.expectInt(api.RunPrg("notprog.exe", "notprog", nullptr, nullptr, nullptr, nullptr),
                    ENOEXEC, "not a program");
        // Windows refuses a directory with ERROR_ACCESS_DENIED, Wine with
        // ERROR_INVALID_HANDLE; either way the runtime's errno for it.
        CreateDirectoryA("folder.d", nullptr);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        char line[] = "folder";
        c.expect(!CreateProcessA("folder.d", line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process),
                 "a directory started");
        DWORD error = GetLastError();
        long expected = error == ERROR_ACCESS_DENIED    ? EACCES
                        : error == ERROR_INVALID_HANDLE ? EBADF
                                                        : -1;
        c.expect(expected != -1, "unexpected error %lu for a directory", error);
        c.expectInt(api.RunPrg("folder.d", "folder", nullptr, nullptr, nullptr, nullptr), expected,
                    "a directory");
    }
    {
        Case c("RunPrg hands the runtime's open files to the child");
        FILE *f = std::fopen("inherit.txt", "wb");
        if (c.expect(f != nullptr, "cannot create inherit.txt")) {
            int fd = _fileno(f);
            c.expect(fd > 2, "descriptor %d is a standard one", fd);
            std::string fdText = std::to_string(fd);
            c.expectInt(api.RunPrg("child", "child", "inherit", fdText.c_str(), nullptr, nullptr),
                        0, "RunPrg");
            std::fclose(f);
            std::string content;
            readFile("inherit.txt", content);
            c.expectText(content, "inherited", "written by the child through the descriptor");
        }
    }
}

void setNewTimeCases() {
    Case c("SetNewTime returns 0 when the clock is not changed");
    SYSTEMTIME before;
    GetLocalTime(&before);
    c.expectInt(api.SetNewTime(2004, 2, 30, -1, -1), 0, "30 February");
    c.expectInt(api.SetNewTime(2004, 13, 1, -1, -1), 0, "month 13");
    // A valid time years away: the platform refuses it for want of the
    // privilege.
    int32_t year = before.wYear > 2010 ? 2001 : 2030;
    c.expectInt(api.SetNewTime(year, 6, 15, 12, 0), 0, "refused by the platform");
    c.expectInt(api.SetNewTime(65536 + year, -1, -1, -1, -1), 0, "high half ignored");
    SYSTEMTIME after;
    GetLocalTime(&after);
    c.expect(after.wYear == before.wYear, "the clock changed");
}

// ---- Printing ---------------------------------------------------------------

// The spooler may write the job out after PrintFile has returned: wait until
// its queue holds no job. The outer time limit of the run ends a job that
// never finishes.
bool waitForEmptyQueue(const std::string &printer) {
    HANDLE handle = nullptr;
    if (!OpenPrinterA(const_cast<char *>(printer.c_str()), &handle, nullptr)) return false;
    for (;;) {
        DWORD needed = 0, jobs = 0;
        EnumJobsA(handle, 0, 16, 1, nullptr, 0, &needed, &jobs);
        if (needed == 0) break;
        std::vector<BYTE> info(needed);
        if (EnumJobsA(handle, 0, 16, 1, info.data(), needed, &needed, &jobs) && jobs == 0) break;
        Sleep(25);
    }
    ClosePrinter(handle);
    return true;
}

void printFileCases(const std::string &printer, const std::string &port) {
    {
        Case c("PrintFile sends the file unchanged through the spooler");
        std::string data = binaryPattern(3 * 4096 + 17, 7);
        writeFile("print.bin", data);
        DeleteFileA(port.c_str());
        takeMessages();
        c.expectInt(api.PrintFile(printer.c_str(), nullptr, "print.bin"), 1, "PrintFile");
        std::string landed;
        c.expect(waitForEmptyQueue(printer), "cannot open printer %s", printer.c_str());
        readFile(port, landed);
        c.expect(landed == data, "port file differs: %lu bytes, expected %lu",
                 static_cast<unsigned long>(landed.size()),
                 static_cast<unsigned long>(data.size()));
        c.expectInt(static_cast<long>(takeMessages().size()), 0, "message boxes");
    }
    {
        Case c("PrintFile with an output file: the spooler writes the job there");
        std::string data = binaryPattern(4097, 3);
        writeFile("print2.bin", data);
        DeleteFileA("job.prn");
        takeMessages();
        char full[MAX_PATH];
        GetFullPathNameA("job.prn", sizeof full, full, nullptr);
        c.expectInt(api.PrintFile(printer.c_str(), full, "print2.bin"), 1, "PrintFile");
        std::string landed;
        c.expect(waitForEmptyQueue(printer), "cannot open printer %s", printer.c_str());
        readFile(full, landed);
        c.expect(landed == data, "job file differs: %lu bytes, expected %lu",
                 static_cast<unsigned long>(landed.size()),
                 static_cast<unsigned long>(data.size()));
        c.expectInt(static_cast<long>(takeMessages().size()), 0, "message boxes");
    }
    {
        Case c("PrintFile to an unknown printer shows two boxes and gives 0");
        writeFile("small.bin", "abc");
        takeMessages();
        c.expectInt(api.PrintFile("No Such Printer", nullptr, "small.bin"), 0, "PrintFile");
        auto boxes = takeMessages();
        if (c.expectInt(static_cast<long>(boxes.size()), 2, "message boxes")) {
            c.expectText(boxes[0], "OpenPrinter per 'No Such Printer' fallita: 1801", "first box");
            char system[128] = "";
            FormatMessageA(0x1200, nullptr, 1801, 0, system, sizeof system, nullptr);
            c.expect(!boxes[1].empty(), "second box is empty");
            c.expectText(boxes[1], system, "second box");
        }
    }
    {
        Case c("PrintFile with a missing file shows one box and gives 0");
        takeMessages();
        c.expectInt(api.PrintFile(printer.c_str(), nullptr, "missing.bin"), 0, "PrintFile");
        auto boxes = takeMessages();
        if (c.expectInt(static_cast<long>(boxes.size()), 1, "message boxes"))
            c.expectText(boxes[0], "Non posso aprire il 'missing.bin' per leggerlo.", "box");
    }
}

void defaultPrinterCases(const std::string &printer, const std::string &port) {
    Case c("DefaultPrinter splits the profile entry");
    char profile[256] = "";
    GetProfileStringA("windows", "device", ",,,", profile, sizeof profile);
    std::string expected = printer + ",wineps.drv," + port;
    c.expectText(profile, expected, "profile entry");
    char device[129], driver[129], portName[129];
    std::memset(device, '#', sizeof device);
    std::memset(driver, '#', sizeof driver);
    std::memset(portName, '#', sizeof portName);
    c.expectInt(api.DefaultPrinter(device, driver, portName), 1, "DefaultPrinter");
    c.expectText(device, printer, "device");
    c.expectText(driver, "wineps.drv", "driver");
    c.expectText(portName, port, "port");
}

void setupDialogCases(const std::string &printer, const std::string &port) {
    const uint32_t flags = PD_RETURNDC | PD_NOSELECTION;
    {
        Case c("SetupDialog confirmed updates the record and keeps flags");
        char device[256], driver[256], portName[256];
        std::memset(device, '#', sizeof device);
        std::memset(driver, '#', sizeof driver);
        std::memset(portName, '#', sizeof portName);
        device[255] = driver[255] = portName[255] = 0;
        HostutilPrinterSetup record;
        record.deviceName = device;
        record.driverName = driver;
        record.portName = portName;
        record.copies = 2;
        record.fromPage = 1;
        record.toPage = 5;
        record.flags = flags;
        record.deviceContext = nullptr;
        takeDialogs();
        InterlockedExchange(&watcher.dialogButton, IDOK);
        int32_t result = api.SetupDialog(&record);
        InterlockedExchange(&watcher.dialogButton, 0);
        c.expect(result != 0, "SetupDialog returned 0 (CommDlgExtendedError %lu)",
                 CommDlgExtendedError());
        c.expectInt(static_cast<long>(takeDialogs().size()), 1, "dialogs answered");
        c.expectText(device, printer, "device");
        // The dialog names the same driver as the default-printer entry.
        char profile[256] = "";
        GetProfileStringA("windows", "device", ",,,", profile, sizeof profile);
        std::string entry = profile;
        size_t first = entry.find(',');
        size_t second = entry.find(',', first + 1);
        std::string profileDriver = first == std::string::npos || second == std::string::npos
                                        ? std::string("(none)")
                                        : entry.substr(first + 1, second - first - 1);
        c.expectText(driver, profileDriver, "driver");
        c.expectText(portName, port, "port");
        c.expectInt(record.copies, 2, "copies");
        c.expectInt(record.fromPage, 1, "fromPage");
        c.expectInt(record.toPage, 5, "toPage");
        c.expectInt(static_cast<long>(record.flags), static_cast<long>(flags), "flags");
        c.expect(record.deviceContext != nullptr, "no device context");
        if (record.deviceContext) {
            c.expect(
                GetDeviceCaps(static_cast<HDC>(record.deviceContext), TECHNOLOGY) == DT_RASPRINTER,
                "device context is not a printer's");
            DeleteDC(static_cast<HDC>(record.deviceContext));
        }
    }
    {
        Case c("SetupDialog cancelled leaves the record unchanged");
        char device[64], driver[64], portName[64];
        std::memset(device, 'd', sizeof device);
        std::memset(driver, 'r', sizeof driver);
        std::memset(portName, 'p', sizeof portName);
        HostutilPrinterSetup record;
        record.deviceName = device;
        record.driverName = driver;
        record.portName = portName;
        record.copies = 3;
        record.fromPage = 2;
        record.toPage = 9;
        record.flags = flags;
        record.deviceContext = reinterpret_cast<void *>(0x1234);
        HostutilPrinterSetup before = record;
        takeDialogs();
        InterlockedExchange(&watcher.dialogButton, IDCANCEL);
        int32_t result = api.SetupDialog(&record);
        InterlockedExchange(&watcher.dialogButton, 0);
        c.expectInt(result, 0, "SetupDialog");
        c.expectInt(static_cast<long>(takeDialogs().size()), 1, "dialogs answered");
        c.expect(std::memcmp(&before, &record, sizeof record) == 0, "record changed");
        c.expect(std::string(device, 64) == std::string(64, 'd') &&
                     std::string(driver, 64) == std::string(64, 'r') &&
                     std::string(portName, 64) == std::string(64, 'p'),
                 "buffers changed");
    }
}

// ---- ODBC -----------------------------------------------------------------

void odbcCases(const std::string &connection) {
    Case c("LoadBin and SaveBin move a file through a long binary column");
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLCHAR out[512];
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = SQLDriverConnect(
        dbc, nullptr, reinterpret_cast<SQLCHAR *>(const_cast<char *>(connection.c_str())), SQL_NTS,
        out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (c.expect(SQL_SUCCEEDED(rc), "SQLDriverConnect(%s) failed: %d", connection.c_str(), rc)) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        rc = SQLExecDirect(stmt,
                           reinterpret_cast<SQLCHAR *>(
                               const_cast<char *>("CREATE TABLE docs (id INTEGER, body BLOB)")),
                           SQL_NTS);
        c.expect(SQL_SUCCEEDED(rc), "CREATE TABLE failed");
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);

        std::string data = binaryPattern(70000, 11);
        writeFile("blob.in", data);
        c.expectInt(api.LoadBin(dbc, "INSERT INTO docs VALUES (1, ?)", "blob.in"), 0, "LoadBin");
        c.expectInt(api.SaveBin(dbc, "SELECT body FROM docs WHERE id = 1", "blob.out"), 0,
                    "SaveBin");
        std::string back;
        c.expect(readFile("blob.out", back) && back == data,
                 "blob.out differs: %lu bytes, expected %lu",
                 static_cast<unsigned long>(back.size()), static_cast<unsigned long>(data.size()));
        c.expectInt(api.LoadBin(nullptr, "INSERT INTO docs VALUES (2, ?)", "blob.in"), -1,
                    "no connection");
        c.expectInt(api.LoadBin(dbc, "INSERT INTO docs VALUES (2, ?)", "missing.in"), -3,
                    "missing file");
        c.expectInt(api.SaveBin(dbc, "SELECT body FROM docs WHERE id = 1", "no\\such\\dir\\x"), -6,
                    "unwritable file");
        SQLDisconnect(dbc);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: testhost PRINTER PORT-FILE ODBC-CONNECTION-STRING\n");
        return 2;
    }
    const std::string printer = argv[1];
    const std::string port = argv[2];
    const std::string connection = argv[3];

    startWatcher();
    if (loadLibraries()) {
        textfindSuite();
        sortCases();
        vedivarCases();
        replcharCases();
        runPrgCases();
        setNewTimeCases();
        odbcCases(connection);
        printFileCases(printer, port);
        defaultPrinterCases(printer, port);
        setupDialogCases(printer, port);
    }
    stopWatcher();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}
