// Linux backend. Placeholder until the real backend lands: every operation
// reports failure.
#include "platform.h"

namespace hostutil::platform {

namespace {
class Linux final : public Platform {
public:
    bool openPrinter(const char *, Handle *) override { return false; }
    bool startDocPrinter(Handle, const char *, const char *) override { return false; }
    bool writePrinter(Handle, const void *, uint32_t) override { return false; }
    void endDocPrinter(Handle) override {}
    void closePrinter(Handle) override {}
    uint32_t lastError() override { return 0; }
    uint32_t formatMessage(uint32_t, char *buffer, uint32_t size) override {
        if (size) buffer[0] = 0;
        return 0;
    }
    void messageBox(const char *, const char *) override {}
    Handle setWaitCursor() override { return nullptr; }
    void setCursor(Handle) override {}
    int32_t printDialog(PrintDialogRecord &) override { return 0; }
    void *globalLock(Handle) override { return nullptr; }
    void globalUnlock(Handle) override {}
    void globalFree(Handle) override {}
    uint32_t getProfileString(const char *, const char *, const char *, char *buffer,
                              uint32_t size) override {
        if (size) buffer[0] = 0;
        return 0;
    }
    bool pathExists(const char *) override { return false; }
    int createProcess(const char *, const char *, ProcessInfo &) override { return 22; }
    void waitForExit(Handle) override {}
    uint32_t exitCode(Handle) override { return 0; }
    void closeHandle(Handle) override {}
    void getLocalTime(SystemTime &time) override { time = {}; }
    bool setLocalTime(const SystemTime &) override { return false; }
};
}  // namespace

Platform &native() {
    static Linux backend;
    return backend;
}

}  // namespace hostutil::platform
