// A scripted stand-in for the platform: records every call, in order, as one
// line of text, plays back the world a test sets up (files that exist, the
// clock, the dialog's choice, the default printer) and fails the calls the
// test's Faults name.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "faults.h"
#include "platform/platform.h"

namespace test {

using hostutil::platform::Document;
using hostutil::platform::Handle;
using hostutil::platform::PrintDialogChoice;
using hostutil::platform::PrintDialogRequest;
using hostutil::platform::PrinterNames;
using hostutil::platform::ProcessInfo;
using hostutil::platform::SpoolerResult;
using hostutil::platform::SystemTime;

class PlatformDouble final : public hostutil::platform::Platform {
public:
    // Every call, e.g. "openPrinter(Laser)" or "messageBox(Prn Bypass|text)".
    // Handles show by role: printer, previousCursor, process, thread.
    std::vector<std::string> calls;

    // Failing calls. The code is what a failed spooler call reports (with
    // its text from errorTexts), what createProcess returns and the errno of
    // a failed allocation or file open; a failed print dialog is one the
    // user cancelled.
    Faults faults;

    // Spooler.
    std::map<uint32_t, std::string> errorTexts;  // codes without an entry have no text
    std::string written;                         // bytes of the accepted writes
    std::optional<uint64_t> documentLength;      // as the last document announced it

    // Print dialog: what it was asked, and what the user confirms.
    std::optional<PrintDialogRequest> dialogSeen;
    int32_t dialogResult = 1;
    PrintDialogChoice dialogChoice;

    PrinterNames defaultNames;

    // Processes.
    std::set<std::string> existingPaths;
    uint32_t childExitCode = 0;

    // Clock.
    SystemTime now{};
    std::optional<SystemTime> timeSet;

    SpoolerResult openPrinter(const char *name, Handle *printer) override;
    SpoolerResult startDocPrinter(Handle printer, const Document &document) override;
    SpoolerResult writePrinter(Handle printer, const void *data, uint32_t size) override;
    SpoolerResult endDocPrinter(Handle printer) override;
    void closePrinter(Handle printer) override;
    void *allocate(std::size_t size) override;
    void release(void *block) override;
    std::FILE *openFile(const char *path, const char *mode) override;
    void closeFile(std::FILE *file) override;
    void messageBox(const char *text, const char *caption) override;
    Handle setWaitCursor() override;
    void setCursor(Handle cursor) override;
    int32_t printDialog(const PrintDialogRequest &request, PrintDialogChoice &choice) override;
    PrinterNames defaultPrinter() override;
    bool pathExists(const char *path) override;
    int createProcess(const char *application, const char *commandLine, ProcessInfo &info) override;
    void waitForExit(Handle process) override;
    uint32_t exitCode(Handle process) override;
    void closeHandle(Handle handle) override;
    void getLocalTime(SystemTime &time) override;
    bool setLocalTime(const SystemTime &time) override;

private:
    void record(const std::string &call) { calls.push_back(call); }
    // The failure of this call of `operation`, if the faults plan one.
    SpoolerResult outcome(Operation operation);
};

// Installs a double for the lifetime of a scope and restores the native
// backend after it.
class ScopedDouble {
public:
    ScopedDouble() { hostutil::platform::install(&double_); }
    ~ScopedDouble() { hostutil::platform::install(nullptr); }
    ScopedDouble(const ScopedDouble &) = delete;
    ScopedDouble &operator=(const ScopedDouble &) = delete;
    PlatformDouble *operator->() { return &double_; }
    PlatformDouble &operator*() { return double_; }

private:
    PlatformDouble double_;
};

// A platform whose every operation fails (or, for one without a failure
// result, does nothing), for narrow fakes that override only what they
// expect to be called. Each operation first calls unexpected() with its name.
class FailingPlatform : public hostutil::platform::Platform {
public:
    SpoolerResult openPrinter(const char *name, Handle *printer) override;
    SpoolerResult startDocPrinter(Handle printer, const Document &document) override;
    SpoolerResult writePrinter(Handle printer, const void *data, uint32_t size) override;
    SpoolerResult endDocPrinter(Handle printer) override;
    void closePrinter(Handle printer) override;
    void *allocate(std::size_t size) override;
    void release(void *block) override;
    std::FILE *openFile(const char *path, const char *mode) override;
    void closeFile(std::FILE *file) override;
    void messageBox(const char *text, const char *caption) override;
    Handle setWaitCursor() override;
    void setCursor(Handle cursor) override;
    int32_t printDialog(const PrintDialogRequest &request, PrintDialogChoice &choice) override;
    PrinterNames defaultPrinter() override;
    bool pathExists(const char *path) override;
    int createProcess(const char *application, const char *commandLine, ProcessInfo &info) override;
    void waitForExit(Handle process) override;
    uint32_t exitCode(Handle process) override;
    void closeHandle(Handle handle) override;
    void getLocalTime(SystemTime &time) override;
    bool setLocalTime(const SystemTime &time) override;

protected:
    virtual void unexpected(const char *operation) { (void)operation; }
};

// Hands every operation to another platform, but for the calls its faults
// fail (a spooler call with the code and no text, an allocation or file
// open with the code as errno, the others as the double fails them);
// decorators override the operations they change.
class ForwardingPlatform : public hostutil::platform::Platform {
public:
    explicit ForwardingPlatform(hostutil::platform::Platform &to) : to_(to) {}
    Faults faults;
    SpoolerResult openPrinter(const char *name, Handle *printer) override;
    SpoolerResult startDocPrinter(Handle printer, const Document &document) override;
    SpoolerResult writePrinter(Handle printer, const void *data, uint32_t size) override;
    SpoolerResult endDocPrinter(Handle printer) override;
    void closePrinter(Handle printer) override;
    void *allocate(std::size_t size) override;
    void release(void *block) override;
    std::FILE *openFile(const char *path, const char *mode) override;
    void closeFile(std::FILE *file) override;
    void messageBox(const char *text, const char *caption) override;
    Handle setWaitCursor() override;
    void setCursor(Handle cursor) override;
    int32_t printDialog(const PrintDialogRequest &request, PrintDialogChoice &choice) override;
    PrinterNames defaultPrinter() override;
    bool pathExists(const char *path) override;
    int createProcess(const char *application, const char *commandLine, ProcessInfo &info) override;
    void waitForExit(Handle process) override;
    uint32_t exitCode(Handle process) override;
    void closeHandle(Handle handle) override;
    void getLocalTime(SystemTime &time) override;
    bool setLocalTime(const SystemTime &time) override;

private:
    hostutil::platform::Platform &to_;
};

}  // namespace test
