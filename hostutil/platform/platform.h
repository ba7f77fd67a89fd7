// The operating-system services of hostutil, behind one interface.
//
// Vocabulary. The spooler, error text, message box, wait cursor, process and
// clock operations map one-to-one onto the Windows call named beside each;
// other backends give the same contract. The default printer and the print
// dialog are service-level operations, names and numbers in and out: the
// Windows profile entry and the dialog's global memory blocks are read and
// released inside the Win32 backend, and other backends hand over what their
// system has (on Linux, CUPS's strings as they are). File operations whose
// calls differ between systems are in files.h, the ODBC headers in odbc.h.
//
// Errors. An operation that fails returns false (or 0, or an errno value
// where it says so); lastError() then tells the platform's code for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace hostutil::platform {

// Printer, process, thread, cursor or device context.
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

// A printer's device, driver and port names, whole: callers cut them.
struct PrinterNames {
    std::string device;
    std::string driver;
    std::string port;
};

// What the print dialog starts from.
struct PrintDialogRequest {
    uint32_t flags = 0;
    uint16_t copies = 0;
    uint16_t fromPage = 0;
    uint16_t toPage = 0;
    uint16_t minPage = 0;
    uint16_t maxPage = 0;
};

// What the user confirmed. `names` is empty when the dialog named no printer.
struct PrintDialogChoice {
    std::optional<PrinterNames> names;
    uint16_t copies = 0;
    uint16_t fromPage = 0;
    uint16_t toPage = 0;
    Handle deviceContext = nullptr;  // the host's to delete
};

// A print job's one document (DOC_INFO_1 without a data type).
struct Document {
    const char *name = nullptr;        // pDocName: how the job shows in the queue
    const char *outputFile = nullptr;  // pOutputFile; null: the device itself
    // The bytes that will follow, when known: a backend that writes the
    // output file itself reserves their room before it changes the file.
    std::optional<uint64_t> length;
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
    // StartDocPrinterA, level 1. An output file is written as a plain open
    // for writing reaches it, its earlier content kept until the document
    // is sure to fit.
    virtual bool startDocPrinter(Handle printer, const Document &document) = 0;
    virtual bool writePrinter(Handle printer, const void *data, uint32_t size) = 0;  // WritePrinter
    // EndDocPrinter: false when the job could not be completed (the spooler
    // went away, the output file could not be written out).
    virtual bool endDocPrinter(Handle printer) = 0;
    virtual void closePrinter(Handle printer) = 0;  // ClosePrinter
    virtual uint32_t lastError() = 0;               // GetLastError
    // FormatMessageA(FROM_SYSTEM | IGNORE_INSERTS): the system's text for
    // `code` into `buffer` of `size` bytes, terminated; returns its length,
    // 0 when there is no text.
    virtual uint32_t formatMessage(uint32_t code, char *buffer, uint32_t size) = 0;

    // User interface.
    virtual void messageBox(const char *text,
                            const char *caption) = 0;  // MessageBoxA, MB_OK, no owner
    // LoadCursorA(IDC_WAIT) + SetCursor; returns the previous cursor.
    virtual Handle setWaitCursor() = 0;
    virtual void setCursor(Handle cursor) = 0;  // SetCursor

    // Printer selection, at the level of the services.
    // The print dialog (PrintDlgA): returns its result, nonzero when the user
    // confirmed; only then is `choice` filled.
    virtual int32_t printDialog(const PrintDialogRequest &request, PrintDialogChoice &choice) = 0;
    // The default printer's names (the profile's "windows" "device" entry);
    // all three empty when there is none.
    virtual PrinterNames defaultPrinter() = 0;

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

// The backend compiled for this platform (one definition per backend).
Platform &native();

}  // namespace hostutil::platform
