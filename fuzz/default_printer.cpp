// DefaultPrinter's split of the profile entry "device,driver,port", checked
// against the C library's sscanf with the pattern that defines it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/platform.h"
#include "printer_select.h"

namespace {

using hostutil::platform::Handle;

// Only the profile is expected to be read; any other call is a fault.
class ProfileOnly final : public hostutil::platform::Platform {
public:
    std::string entry;

    uint32_t getProfileString(const char *, const char *, const char *, char *buffer,
                              uint32_t size) override {
        if (size == 0) return 0;
        const std::size_t n = std::min<std::size_t>(entry.size(), size - 1);
        std::memcpy(buffer, entry.data(), n);
        buffer[n] = 0;
        return static_cast<uint32_t>(n);
    }

    bool openPrinter(const char *, Handle *) override { unexpected(); }
    bool startDocPrinter(Handle, const char *, const char *) override { unexpected(); }
    bool writePrinter(Handle, const void *, uint32_t) override { unexpected(); }
    void endDocPrinter(Handle) override { unexpected(); }
    void closePrinter(Handle) override { unexpected(); }
    uint32_t lastError() override { unexpected(); }
    uint32_t formatMessage(uint32_t, char *, uint32_t) override { unexpected(); }
    void messageBox(const char *, const char *) override { unexpected(); }
    Handle setWaitCursor() override { unexpected(); }
    void setCursor(Handle) override { unexpected(); }
    int32_t printDialog(hostutil::platform::PrintDialogRecord &) override { unexpected(); }
    void *globalLock(Handle) override { unexpected(); }
    void globalUnlock(Handle) override { unexpected(); }
    void globalFree(Handle) override { unexpected(); }
    bool pathExists(const char *) override { unexpected(); }
    int createProcess(const char *, const char *, hostutil::platform::ProcessInfo &) override {
        unexpected();
    }
    void waitForExit(Handle) override { unexpected(); }
    uint32_t exitCode(Handle) override { unexpected(); }
    void closeHandle(Handle) override { unexpected(); }
    void getLocalTime(hostutil::platform::SystemTime &) override { unexpected(); }
    bool setLocalTime(const hostutil::platform::SystemTime &) override { unexpected(); }

private:
    [[noreturn]] static void unexpected() {
        FUZZ_CHECK(false, "only the profile is read");
        std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static ProfileOnly platform;
    platform.entry.assign(reinterpret_cast<const char *>(data), size);
    hostutil::platform::install(&platform);

    constexpr std::size_t kName = hostutil::kNameBufferSize;
    GuardedBuffer device(kName), driver(kName), port(kName);
    const int32_t status = hostutil::defaultPrinter(device.data(), driver.data(), port.data());
    hostutil::platform::install(nullptr);
    FUZZ_CHECK(status == 1, "always 1");

    // What the 256-byte profile buffer holds: at most 255 bytes, up to a NUL.
    char entry[hostutil::kProfileEntrySize] = {};
    std::memcpy(entry, data, std::min(size, sizeof entry - 1));
    char want[3][kName] = {{0}, {0}, {0}};
    // Parts that sscanf does not produce keep their empty string.
    [[maybe_unused]] const int parts =
        std::sscanf(entry, "%128[^,],%128[^,],%128[^,]", want[0], want[1], want[2]);

    GuardedBuffer *got[3] = {&device, &driver, &port};
    for (int i = 0; i < 3; ++i) {
        FUZZ_CHECK(got[i]->untouchedFrom(kName), "nothing written past 129 bytes");
        FUZZ_CHECK(std::memchr(got[i]->data(), 0, kName) != nullptr, "each name is terminated");
        const std::string_view name(got[i]->data());
        FUZZ_CHECK(name.size() <= 128, "each part at most 128 characters");
        FUZZ_CHECK(got[i]->untouchedFrom(name.size() + 1), "nothing written after a name's NUL");
        FUZZ_CHECK(name == std::string_view(want[i]), "split matches sscanf");
    }
    return 0;
}
