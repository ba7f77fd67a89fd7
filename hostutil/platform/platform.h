// The operating-system services of hostutil, behind one interface.
//
// Vocabulary. The spooler, message box, wait cursor, memory, file stream,
// process and clock operations map one-to-one onto the Windows or C runtime
// call named beside each; other backends give the same contract. The default
// printer and the print dialog are service-level operations, names and
// numbers in and out: the Windows profile entry and the dialog's global
// memory blocks are read and released inside the Win32 backend, and other
// backends hand over what their system has (on Linux, CUPS's strings as
// they are). File operations whose calls differ between systems are in
// files.h, the ODBC headers in odbc.h.
//
// Errors. A spooler operation returns its failure with its result: the
// platform's code and the system's text for it (the Win32 backend reads
// GetLastError and FormatMessage there, once). Other operations that fail
// return false, null, 0 or an errno value, as each says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

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

// What a spooler operation did: success, or the platform's code for its
// failure and the system's text for that code (empty when it has none).
struct SpoolerResult {
    bool succeeded = true;
    uint32_t code = 0;
    std::string text;

    explicit operator bool() const { return succeeded; }
    static SpoolerResult success() { return {}; }
    static SpoolerResult failure(uint32_t code, std::string text) {
        return {false, code, std::move(text)};
    }
};

struct ProcessInfo {
    Handle process = nullptr;
    Handle thread = nullptr;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Spooler.
    virtual SpoolerResult openPrinter(const char *name,
                                      Handle *printer) = 0;  // OpenPrinterA, no defaults
    // StartDocPrinterA, level 1. An output file is written as a plain open
    // for writing reaches it, its earlier content kept until the document
    // is sure to fit.
    virtual SpoolerResult startDocPrinter(Handle printer, const Document &document) = 0;
    virtual SpoolerResult writePrinter(Handle printer, const void *data,
                                       uint32_t size) = 0;  // WritePrinter
    // EndDocPrinter: a failure when the job could not be completed (the
    // spooler went away, the output file could not be written out).
    virtual SpoolerResult endDocPrinter(Handle printer) = 0;
    virtual void closePrinter(Handle printer) = 0;  // ClosePrinter

    // Memory and file streams whose failures a service reports itself.
    virtual void *allocate(std::size_t size) = 0;  // malloc: null when there is none
    virtual void release(void *block) = 0;         // free
    // fopen: null (and errno set) when the file cannot be opened.
    virtual std::FILE *openFile(const char *path, const char *mode) = 0;
    virtual void closeFile(std::FILE *file) = 0;  // fclose

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
