// A scriptable stand-in for the platform: records every call, in order, as
// one line of text, and plays back the results and error codes a test sets.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform.h"

namespace hostutil::platform {

class PlatformDouble final : public Platform {
public:
    PlatformDouble();

    // Every call, e.g. "openPrinter(Laser)" or "messageBox(Prn Bypass|text)".
    // Handles show by role: printer, waitCursor, previousCursor, devMode,
    // devNames, process, thread.
    std::vector<std::string> calls;

    // Spooler script. A failing call sets the error code given with it.
    bool openSucceeds = true;
    uint32_t openError = 0;
    bool startSucceeds = true;
    uint32_t startError = 0;
    int failingWrite = 0;  // 1-based number of the write that fails; 0: none
    uint32_t writeError = 0;
    std::map<uint32_t, std::string> errorTexts;  // codes without an entry have no text
    std::string written;                         // bytes of the accepted writes

    // Print dialog script.
    int32_t dialogResult = 0;
    std::optional<PrintDialogRecord> dialogSeen;  // the record the dialog got
    bool dialogSetsDevMode = true;
    // Driver, device and output names of the device-names block; none: no block.
    std::optional<std::vector<std::string>> dialogNames;
    uint16_t dialogCopies = 0, dialogFromPage = 0, dialogToPage = 0;
    Handle dialogDeviceContext = nullptr;

    // Profile: the default-printer entry; none: the caller's fallback.
    std::optional<std::string> profileEntry;

    // Processes.
    std::set<std::string> existingPaths;
    int createError = 0;
    uint32_t childExitCode = 0;

    // Clock.
    SystemTime now{};
    bool setTimeSucceeds = true;
    std::optional<SystemTime> timeSet;

    // Global blocks handed out and not freed yet.
    size_t liveBlocks() const;

    bool openPrinter(const char *name, Handle *printer) override;
    bool startDocPrinter(Handle printer, const char *docName, const char *outputFile) override;
    bool writePrinter(Handle printer, const void *data, uint32_t size) override;
    void endDocPrinter(Handle printer) override;
    void closePrinter(Handle printer) override;
    uint32_t lastError() override;
    uint32_t formatMessage(uint32_t code, char *buffer, uint32_t size) override;
    void messageBox(const char *text, const char *caption) override;
    Handle setWaitCursor() override;
    void setCursor(Handle cursor) override;
    int32_t printDialog(PrintDialogRecord &record) override;
    void *globalLock(Handle block) override;
    void globalUnlock(Handle block) override;
    void globalFree(Handle block) override;
    uint32_t getProfileString(const char *section, const char *key, const char *fallback,
                              char *buffer, uint32_t size) override;
    bool pathExists(const char *path) override;
    int createProcess(const char *application, const char *commandLine, ProcessInfo &info) override;
    void waitForExit(Handle process) override;
    uint32_t exitCode(Handle process) override;
    void closeHandle(Handle handle) override;
    void getLocalTime(SystemTime &time) override;
    bool setLocalTime(const SystemTime &time) override;

private:
    std::string name(Handle handle) const;
    void record(const std::string &call) { calls.push_back(call); }

    uint32_t error_ = 0;
    int writes_ = 0;
    std::map<Handle, std::unique_ptr<std::vector<char>>> blocks_;
    std::map<Handle, std::string> roles_;
};

// Installs a double for the lifetime of a scope and restores the native
// backend after it.
class ScopedDouble {
public:
    ScopedDouble() { install(&double_); }
    ~ScopedDouble() { install(nullptr); }
    ScopedDouble(const ScopedDouble &) = delete;
    ScopedDouble &operator=(const ScopedDouble &) = delete;
    PlatformDouble *operator->() { return &double_; }
    PlatformDouble &operator*() { return double_; }

private:
    PlatformDouble double_;
};

}  // namespace hostutil::platform
