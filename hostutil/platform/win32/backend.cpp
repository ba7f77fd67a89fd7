// The Win32 backend: each operation is the Windows call platform.h names.
#include <windows.h>
#include <commdlg.h>
#include <winspool.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "errno_map.h"
#include "hostutil.h"
#include "inherited_handles.h"
#include "platform/device_entry.h"
#include "platform/platform.h"

// The system's records this backend fills field by field, as the 32-bit
// system lays them out (the setup record's layout is printer_select.cpp's).
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PRINTDLGA) == 66, "PRINTDLGA is byte-packed on 32-bit Windows");
static_assert(offsetof(PRINTDLGA, Flags) == 20);
static_assert(offsetof(PRINTDLGA, nFromPage) == 24);
static_assert(offsetof(PRINTDLGA, nToPage) == 26);
static_assert(offsetof(PRINTDLGA, nMinPage) == 28);
static_assert(offsetof(PRINTDLGA, nMaxPage) == 30);
static_assert(offsetof(PRINTDLGA, nCopies) == 32);
static_assert(offsetof(PRINTDLGA, hSetupTemplate) == 62);
static_assert(sizeof(DOC_INFO_1A) == 12);
#endif
static_assert(sizeof(hostutil::platform::DevNames) == sizeof(DEVNAMES));
static_assert(sizeof(hostutil::platform::SystemTime) == sizeof(SYSTEMTIME));

namespace hostutil::platform {

namespace {

// The dialog's global blocks, freed however the reading of them ends.
struct DialogBlocks {
    HGLOBAL devMode = nullptr;
    HGLOBAL devNames = nullptr;
    ~DialogBlocks() {
        if (devMode) GlobalFree(devMode);
        if (devNames) GlobalFree(devNames);
    }
};

std::optional<PrinterNames> namesOfBlock(HGLOBAL block) {
    if (!block) return std::nullopt;
    const void *bytes = GlobalLock(block);
    if (!bytes) return std::nullopt;
    struct Unlock {
        HGLOBAL block;
        ~Unlock() { GlobalUnlock(block); }
    } unlock{block};
    return namesFromDevNames(bytes, GlobalSize(block));
}

// The thread's last error and the system's text for it, read right after the
// spooler call that failed. The text is formatted into the 128 bytes a
// message box of PrintFile holds: one that does not fit counts as none.
SpoolerResult lastFailure() {
    const DWORD code = GetLastError();
    char text[128];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    return SpoolerResult::failure(code, std::string(text, length));
}

class Win32 final : public Platform {
public:
    SpoolerResult openPrinter(const char *name, Handle *printer) override {
        HANDLE h = nullptr;
        if (!OpenPrinterA(const_cast<char *>(name), &h, nullptr)) return lastFailure();
        *printer = h;
        return SpoolerResult::success();
    }

    // The spooler writes the output file itself, with the caller's rights.
    SpoolerResult startDocPrinter(Handle printer, const Document &document) override {
        DOC_INFO_1A info{};
        info.pDocName = const_cast<char *>(document.name);
        info.pOutputFile = const_cast<char *>(document.outputFile);
        info.pDatatype = nullptr;
        if (StartDocPrinterA(printer, 1, reinterpret_cast<BYTE *>(&info)) == 0)
            return lastFailure();
        return SpoolerResult::success();
    }

    SpoolerResult writePrinter(Handle printer, const void *data, uint32_t size) override {
        DWORD written = 0;
        if (!WritePrinter(printer, const_cast<void *>(data), size, &written)) return lastFailure();
        return SpoolerResult::success();
    }

    SpoolerResult endDocPrinter(Handle printer) override {
        return EndDocPrinter(printer) ? SpoolerResult::success() : lastFailure();
    }
    void closePrinter(Handle printer) override { ClosePrinter(printer); }

    void *allocate(std::size_t size) override { return std::malloc(size); }
    void release(void *block) override { std::free(block); }
    std::FILE *openFile(const char *path, const char *mode) override {
        return std::fopen(path, mode);
    }
    void closeFile(std::FILE *file) override { std::fclose(file); }

    void messageBox(const char *text, const char *caption) override {
        MessageBoxA(nullptr, text, caption, MB_OK);
    }

    Handle setWaitCursor() override {
        // IDC_WAIT spelled for the ANSI call: the header's name follows UNICODE.
        return SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(0x7F02)));
    }

    void setCursor(Handle cursor) override { SetCursor(static_cast<HCURSOR>(cursor)); }

    int32_t printDialog(const PrintDialogRequest &request, PrintDialogChoice &choice) override {
        PRINTDLGA dialog;
        std::memset(&dialog, 0, sizeof dialog);
        dialog.lStructSize = sizeof dialog;
        dialog.Flags = request.flags;
        dialog.nFromPage = request.fromPage;
        dialog.nToPage = request.toPage;
        dialog.nMinPage = request.minPage;
        dialog.nMaxPage = request.maxPage;
        dialog.nCopies = request.copies;
        const BOOL result = PrintDlgA(&dialog);
        // The dialog may hand back both blocks even when cancelled.
        DialogBlocks blocks{dialog.hDevMode, dialog.hDevNames};
        if (result) {
            choice.names = namesOfBlock(dialog.hDevNames);
            choice.copies = dialog.nCopies;
            choice.fromPage = dialog.nFromPage;
            choice.toPage = dialog.nToPage;
            choice.deviceContext = dialog.hDC;
        }
        return result;
    }

    PrinterNames defaultPrinter() override {
        char entry[kDeviceEntrySize] = {};
        GetProfileStringA("windows", "device", ",,,", entry, sizeof entry);
        return namesFromDeviceEntry(std::string_view(entry, sizeof entry));
    }

    bool pathExists(const char *path) override {
        return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    }

    int createProcess(const char *application, const char *commandLine,
                      ProcessInfo &info) override {
        std::vector<unsigned char> table = win32::inheritedHandleTable();
        std::vector<char> line(commandLine, commandLine + std::strlen(commandLine) + 1);
        STARTUPINFOA startup;
        std::memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        startup.cbReserved2 = static_cast<WORD>(table.size());
        startup.lpReserved2 = table.data();
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(application, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &process))
            return win32::errnoForWindowsError(GetLastError());
        info.process = process.hProcess;
        info.thread = process.hThread;
        return 0;
    }

    void waitForExit(Handle process) override { WaitForSingleObject(process, INFINITE); }

    uint32_t exitCode(Handle process) override {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        return code;
    }

    void closeHandle(Handle handle) override { CloseHandle(handle); }

    void getLocalTime(SystemTime &time) override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        time = {t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
                t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
    }

    bool setLocalTime(const SystemTime &time) override {
        SYSTEMTIME t{time.year, time.month,  time.dayOfWeek, time.day,
                     time.hour, time.minute, time.second,    time.milliseconds};
        return SetLocalTime(&t) != 0;
    }
};

}  // namespace

Platform &native() {
    static Win32 backend;
    return backend;
}

}  // namespace hostutil::platform
