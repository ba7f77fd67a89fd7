// DefaultPrinter over the Windows profile entry "device,driver,port": the
// Win32 backend's split and the service's copy, checked against the C
// library's sscanf with the pattern that defines it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/device_entry.h"
#include "platform_double.h"
#include "printer_select.h"

namespace {

// The Win32 backend's reading of the entry, and nothing else: any other call
// is a fault.
class ProfileOnly final : public test::FailingPlatform {
public:
    std::string entry;

    hostutil::platform::PrinterNames defaultPrinter() override {
        return hostutil::platform::namesFromDeviceEntry(entry);
    }

protected:
    void unexpected(const char *operation) override {
        FUZZ_CHECK(false, operation);
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
    char entry[hostutil::platform::kDeviceEntrySize] = {};
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
