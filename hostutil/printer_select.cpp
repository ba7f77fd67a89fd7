#include "printer_select.h"

#include <cstring>
#include <string>

#include "export_guard.h"
#include "platform/platform.h"

static_assert(sizeof(void *) != 4 || sizeof(HostutilPrinterSetup) == 26,
              "the host's setup record is 26 bytes on 32-bit builds");
static_assert(sizeof(void *) != 8 || sizeof(HostutilPrinterSetup) == 42,
              "the setup record is byte-packed on 64-bit builds");

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
