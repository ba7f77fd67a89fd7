// The Linux backend: CUPS for the spooler, the host's hooks for the message
// box and the print dialog, posix_spawn for processes, the realtime clock.
// Its members are defined by area: errors.cpp, spooler.cpp, desktop.cpp,
// process.cpp, clock.cpp.
#pragma once

#include "platform/platform.h"

namespace hostutil::platform {

class LinuxBackend final : public Platform {
public:
    bool openPrinter(const char *name, Handle *printer) override;
    bool startDocPrinter(Handle printer, const Document &document) override;
    bool writePrinter(Handle printer, const void *data, uint32_t size) override;
    bool endDocPrinter(Handle printer) override;
    void closePrinter(Handle printer) override;
    uint32_t lastError() override;
    uint32_t formatMessage(uint32_t code, char *buffer, uint32_t size) override;

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
};

}  // namespace hostutil::platform
