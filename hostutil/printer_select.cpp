#include "printer_select.h"

#include <cstring>

#include "export_guard.h"
#include "platform/platform.h"

static_assert(sizeof(void *) != 4 || sizeof(HostutilPrinterSetup) == 26,
              "the host's setup record is 26 bytes on 32-bit builds");
static_assert(sizeof(void *) != 8 || sizeof(HostutilPrinterSetup) == 42,
              "the setup record is byte-packed on 64-bit builds");

namespace hostutil {

namespace {

// Copies at most a buffer's worth of `name`, cut and terminated; reads no
// further than it copies.
void copyName(char *buffer, const char *name) {
    if (!buffer) return;
    size_t length = name ? strnlen(name, kNameBufferSize - 1) : 0;
    if (length) std::memcpy(buffer, name, length);
    buffer[length] = 0;
}

}  // namespace

int32_t setupDialog(HostutilPrinterSetup *record) {
    if (!record) return HOSTUTIL_DIALOG_CANCELLED;
    platform::Platform &os = platform::current();

    platform::PrintDialogRecord dialog{};
    dialog.flags = record->flags;
    dialog.fromPage = dialog.minPage = record->fromPage;
    dialog.toPage = dialog.maxPage = record->toPage;
    dialog.copies = record->copies;

    int32_t result = os.printDialog(dialog);
    if (result != 0) {
        if (dialog.devNames) {
            if (auto *block = static_cast<const char *>(os.globalLock(dialog.devNames))) {
                platform::DevNames names;
                std::memcpy(&names, block, sizeof names);
                copyName(record->driverName, block + names.driverOffset);
                copyName(record->deviceName, block + names.deviceOffset);
                copyName(record->portName, block + names.outputOffset);
                os.globalUnlock(dialog.devNames);
            }
        }
        record->deviceContext = dialog.deviceContext;
        record->copies = dialog.copies;
        record->fromPage = dialog.fromPage;
        record->toPage = dialog.toPage;
    }
    // The dialog may hand back both blocks even when cancelled.
    if (dialog.devMode) os.globalFree(dialog.devMode);
    if (dialog.devNames) os.globalFree(dialog.devNames);
    return result;
}

int32_t defaultPrinter(char *deviceBuffer, char *driverBuffer, char *portBuffer) {
    platform::Platform &os = platform::current();
    char entry[kProfileEntrySize] = {};
    os.getProfileString("windows", "device", ",,,", entry, sizeof entry);
    entry[sizeof entry - 1] = 0;

    char *buffers[3] = {deviceBuffer, driverBuffer, portBuffer};
    for (char *buffer : buffers)
        if (buffer) buffer[0] = 0;

    // Runs of 1 to 128 non-commas, one comma between runs; the first empty
    // run or missing comma ends the split.
    const char *at = entry;
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            if (*at != ',') break;
            ++at;
        }
        size_t length = 0;
        while (length < kNameBufferSize - 1 && at[length] && at[length] != ',') ++length;
        if (length == 0) break;
        if (char *buffer = buffers[part]) {
            std::memcpy(buffer, at, length);
            buffer[length] = 0;
        }
        at += length;
    }
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
