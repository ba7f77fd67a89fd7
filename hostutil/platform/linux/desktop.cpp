// What a desktop would show: the message box and the print dialog come from
// the host's hooks, the default printer from CUPS. There is no wait cursor.
#include <cups/cups.h>

#include "backend.h"
#include "host_hooks.h"

namespace hostutil::platform {

// Without the host's handler there is nowhere to show a box: a library
// writes nothing of its own to the process's streams.
void LinuxBackend::messageBox(const char *text, const char *caption) {
    if (HostutilMessageHandler handler = host_hooks::messageHandler()) handler(caption, text);
}

Handle LinuxBackend::setWaitCursor() { return nullptr; }

void LinuxBackend::setCursor(Handle) {}

int32_t LinuxBackend::printDialog(const PrintDialogRequest &request, PrintDialogChoice &choice) {
    HostutilDialogProvider provider = host_hooks::dialogProvider();
    if (!provider) return 0;
    HostutilDialogRequest asked{};
    asked.flags = request.flags;
    asked.copies = request.copies;
    asked.fromPage = request.fromPage;
    asked.toPage = request.toPage;
    asked.minPage = request.minPage;
    asked.maxPage = request.maxPage;
    int32_t result = provider(&asked);
    if (result == 0) return 0;
    // The names are the provider's only until it returns: copied at once.
    choice.names = PrinterNames{asked.deviceName ? asked.deviceName : "",
                                asked.driverName ? asked.driverName : "",
                                asked.portName ? asked.portName : ""};
    choice.copies = asked.copies;
    choice.fromPage = asked.fromPage;
    choice.toPage = asked.toPage;
    choice.deviceContext = asked.deviceContext;
    return result;
}

PrinterNames LinuxBackend::defaultPrinter() {
    PrinterNames names;
    if (cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr)) {
        const char *model =
            cupsGetOption("printer-make-and-model", dest->num_options, dest->options);
        const char *uri = cupsGetOption("device-uri", dest->num_options, dest->options);
        names.device = dest->name;
        names.driver = model ? model : "";
        names.port = uri ? uri : "";
        cupsFreeDests(1, dest);
    }
    return names;
}

}  // namespace hostutil::platform
