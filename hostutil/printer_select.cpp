#include "printer_select.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "export_guard.h"
#include "platform/platform.h"

// Hosts lay the setup record out byte for byte: three buffer addresses, the
// three 16-bit fields, the 32-bit flags, the device context; 26 bytes on
// 32-bit builds, 42 on 64-bit ones. The one place the layout is held.
constexpr std::size_t kPointer = sizeof(void *);
static_assert(offsetof(HostutilPrinterSetup, driverName) == kPointer);
static_assert(offsetof(HostutilPrinterSetup, portName) == 2 * kPointer);
static_assert(offsetof(HostutilPrinterSetup, copies) == 3 * kPointer);
static_assert(offsetof(HostutilPrinterSetup, fromPage) == 3 * kPointer + 2);
static_assert(offsetof(HostutilPrinterSetup, toPage) == 3 * kPointer + 4);
static_assert(offsetof(HostutilPrinterSetup, flags) == 3 * kPointer + 6);
static_assert(offsetof(HostutilPrinterSetup, deviceContext) == 3 * kPointer + 10);
static_assert(sizeof(HostutilPrinterSetup) == 4 * kPointer + 10);

namespace hostutil {

namespace {

// Copies at most a buffer's worth of `name`, cut and terminated; a null
// buffer address is skipped.
void copyName(char *buffer, const std::string &name) {
    if (!buffer) return;
    const size_t length = std::min(name.size(), kNameBufferSize - 1);
    if (length) std::memcpy(buffer, name.data(), length);
    buffer[length] = 0;
}

}  // namespace

int32_t setupDialog(HostutilPrinterSetup *record) {
    if (!record) return HOSTUTIL_DIALOG_CANCELLED;
    platform::Platform &os = platform::current();

    platform::PrintDialogRequest request;
    request.flags = record->flags;
    request.fromPage = request.minPage = record->fromPage;
    request.toPage = request.maxPage = record->toPage;
    request.copies = record->copies;

    platform::PrintDialogChoice choice;
    const int32_t result = os.printDialog(request, choice);
    if (result != 0) {
        if (choice.names) {
            copyName(record->deviceName, choice.names->device);
            copyName(record->driverName, choice.names->driver);
            copyName(record->portName, choice.names->port);
        }
        record->deviceContext = choice.deviceContext;
        record->copies = choice.copies;
        record->fromPage = choice.fromPage;
        record->toPage = choice.toPage;
    }
    return result;
}

int32_t defaultPrinter(char *deviceBuffer, char *driverBuffer, char *portBuffer) {
    // Emptied first: whatever happens next, no buffer holds a stale name.
    char *buffers[3] = {deviceBuffer, driverBuffer, portBuffer};
    for (char *buffer : buffers)
        if (buffer) buffer[0] = 0;
    const platform::PrinterNames names = platform::current().defaultPrinter();
    copyName(deviceBuffer, names.device);
    copyName(driverBuffer, names.driver);
    copyName(portBuffer, names.port);
    return HOSTUTIL_DEFAULT_PRINTER_DONE;
}

}  // namespace hostutil

extern "C" HOSTUTIL_API int32_t HOSTUTIL_CALL SetupDialog(HostutilPrinterSetup *record) {
    return hostutil::guardExport(hostutil::fallback::kSetupDialog,
                                 [&] { return hostutil::setupDialog(record); });
}

extern "C" HOSTUTIL_API int32_t HOSTUTIL_CALL DefaultPrinter(char *deviceBuffer, char *driverBuffer,
                                                             char *portBuffer) {
    return hostutil::guardExport(hostutil::fallback::kDefaultPrinter, [&] {
        return hostutil::defaultPrinter(deviceBuffer, driverBuffer, portBuffer);
    });
}
