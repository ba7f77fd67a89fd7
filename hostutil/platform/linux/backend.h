// The Linux backend: CUPS for the spooler, the host's hooks for the message
// box and the print dialog, posix_spawn for processes, the realtime clock.
// Its members are defined by area: spooler.cpp, desktop.cpp, process.cpp,
// clock.cpp, and the C runtime's memory and streams in backend.cpp.
#pragma once

#include "platform/platform.h"

namespace hostutil::platform {

class LinuxBackend final : public Platform {
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
};

}  // namespace hostutil::platform
