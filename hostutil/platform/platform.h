// The platform operations the printing, dialog, process and clock services
// need, behind one interface. Each operation maps one-to-one onto the Windows
// call named beside it; other backends provide the same contract.
#pragma once

#include <cstdint>

namespace hostutil::platform {

// Printer, process, thread, global memory block, cursor or device context.
using Handle = void *;

// SYSTEMTIME, field for field.
struct SystemTime {
    uint16_t year;
    uint16_t month;
    uint16_t dayOfWeek;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

// The PRINTDLGA fields the services read and write; a backend builds its own
// native record from it (no owner, hooks, templates or initial devices).
struct PrintDialogRecord {
    uint32_t flags = 0;
    uint16_t fromPage = 0;
    uint16_t toPage = 0;
    uint16_t minPage = 0;
    uint16_t maxPage = 0;
    uint16_t copies = 0;
    Handle devMode = nullptr;        // out: global block, may be set on cancel
    Handle devNames = nullptr;       // out: global block laid out as DevNames
    Handle deviceContext = nullptr;  // out
};

// DEVNAMES header; offsets count bytes from the start of the block.
struct DevNames {
    uint16_t driverOffset;
    uint16_t deviceOffset;
    uint16_t outputOffset;
    uint16_t isDefault;
};

struct ProcessInfo {
    Handle process = nullptr;
    Handle thread = nullptr;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Spooler.
    virtual bool openPrinter(const char *name, Handle *printer) = 0;  // OpenPrinterA, no defaults
    virtual bool startDocPrinter(
        Handle printer, const char *docName,
        const char *outputFile) = 0;  // StartDocPrinterA, level 1, no datatype
    virtual bool writePrinter(Handle printer, const void *data, uint32_t size) = 0;  // WritePrinter
    virtual void endDocPrinter(Handle printer) = 0;  // EndDocPrinter
    virtual void closePrinter(Handle printer) = 0;   // ClosePrinter
    virtual uint32_t lastError() = 0;                // GetLastError
    // FormatMessageA(FROM_SYSTEM | IGNORE_INSERTS): the system's text for
    // `code` into `buffer` of `size` bytes, terminated; returns its length,
    // 0 when there is no text.
    virtual uint32_t formatMessage(uint32_t code, char *buffer, uint32_t size) = 0;

    // User interface.
    virtual void messageBox(const char *text,
                            const char *caption) = 0;  // MessageBoxA, MB_OK, no owner
    virtual Handle
    setWaitCursor() = 0;  // LoadCursorA(IDC_WAIT) + SetCursor; returns the previous cursor
    virtual void setCursor(Handle cursor) = 0;  // SetCursor

    // Print dialog and global memory.
    virtual int32_t printDialog(PrintDialogRecord &record) = 0;  // PrintDlgA
    virtual void *globalLock(Handle block) = 0;                  // GlobalLock
    virtual void globalUnlock(Handle block) = 0;                 // GlobalUnlock
    virtual void globalFree(Handle block) = 0;                   // GlobalFree

    // GetProfileStringA: returns the number of characters copied.
    virtual uint32_t getProfileString(const char *section, const char *key, const char *fallback,
                                      char *buffer, uint32_t size) = 0;

    // Processes.
    virtual bool pathExists(const char *path) = 0;  // GetFileAttributesA != INVALID
    // CreateProcessA with inherited handles, environment and folder. Returns 0
    // and fills `info`, or the C runtime errno value for the failure.
    virtual int createProcess(const char *application, const char *commandLine,
                              ProcessInfo &info) = 0;
    virtual void waitForExit(Handle process) = 0;   // WaitForSingleObject(INFINITE)
    virtual uint32_t exitCode(Handle process) = 0;  // GetExitCodeProcess
    virtual void closeHandle(Handle handle) = 0;    // CloseHandle

    // Clock.
    virtual void getLocalTime(SystemTime &time) = 0;        // GetLocalTime
    virtual bool setLocalTime(const SystemTime &time) = 0;  // SetLocalTime
};

// The backend the services use: the native one unless a test installed another.
Platform &current();

// Routes the services to `backend`; nullptr restores the native backend.
void install(Platform *backend);

// The backend compiled for this platform (one definition per backend file).
Platform &native();

}  // namespace hostutil::platform
