#include "print_file.h"

#include <cstdlib>

#include "export_guard.h"
#include "hostutil.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace hostutil {

namespace {

constexpr const char *kCaption = "Prn Bypass";

const char *shown(const char *text) { return text ? text : "(null)"; }

long shownCode(uint32_t code) { return static_cast<long>(static_cast<int32_t>(code)); }

// The system's text for `code` in a second box; a code without text still
// gets one, so the user sees the same boxes whatever the system knows.
void showSystemText(platform::Platform &os, uint32_t code, char (&message)[kMessageSize]) {
    message[0] = 0;
    if (os.formatMessage(code, message, kMessageSize) == 0 || message[0] == 0)
        std::snprintf(message, kMessageSize, "Errore di sistema %ld", shownCode(code));
    message[kMessageSize - 1] = 0;
    os.messageBox(message, kCaption);
}

}  // namespace

const PrintResources &standardResources() {
    static const PrintResources resources{
        [](size_t size) { return std::malloc(size); },
        [](void *block) { std::free(block); },
        [](const char *path, const char *mode) { return std::fopen(path, mode); },
        [](FILE *file) { return std::fclose(file); },
    };
    return resources;
}

int32_t printFile(const char *printerName, const char *outputFile, const char *filePath,
                  const PrintResources &resources) {
    platform::Platform &os = platform::current();
    char message[kMessageSize];

    auto *buffer = static_cast<char *>(resources.allocate(kTransferSize));
    if (!buffer) {
        os.messageBox("Memoria insufficente per copiare il file", kCaption);
        return HOSTUTIL_PRINT_FAILED;
    }

    FILE *file = filePath ? resources.open(filePath, "rb") : nullptr;
    if (!file) {
        std::snprintf(message, sizeof message, "Non posso aprire il '%s' per leggerlo.",
                      shown(filePath));
        os.messageBox(message, kCaption);
        resources.release(buffer);
        return HOSTUTIL_PRINT_FAILED;
    }

    platform::Handle printer = nullptr;
    if (!os.openPrinter(printerName, &printer)) {
        uint32_t code = os.lastError();
        std::snprintf(message, sizeof message, "OpenPrinter per '%s' fallita: %ld",
                      shown(printerName), shownCode(code));
        os.messageBox(message, kCaption);
        showSystemText(os, code, message);
        resources.release(buffer);
        resources.close(file);
        return HOSTUTIL_PRINT_FAILED;
    }

    platform::Document document;
    document.name = filePath;
    document.outputFile = outputFile;
    document.length = platform::lengthOfOpenFile(file);
    if (!os.startDocPrinter(printer, document)) {
        uint32_t code = os.lastError();
        std::snprintf(message, sizeof message, "Inizio stampa su '%s' fallita: %ld",
                      shown(outputFile), shownCode(code));
        os.messageBox(message, kCaption);
        showSystemText(os, code, message);
        os.closePrinter(printer);
        resources.release(buffer);
        resources.close(file);
        return HOSTUTIL_PRINT_FAILED;
    }

    platform::Handle previousCursor = os.setWaitCursor();
    for (;;) {
        size_t count = std::fread(buffer, 1, kReadSize, file);
        if (count == 0) break;  // end of file or a read error alike
        if (!os.writePrinter(printer, buffer, static_cast<uint32_t>(count))) {
            os.messageBox("Trasmissione dati alla stampante fallito", kCaption);
            os.setCursor(previousCursor);
            // Ended, not cancelled: what was written stays in the queue.
            os.endDocPrinter(printer);
            os.closePrinter(printer);
            resources.close(file);
            resources.release(buffer);
            return HOSTUTIL_PRINT_FAILED;
        }
    }
    os.setCursor(previousCursor);
    // The job counts only once the spooler has taken all of it.
    const bool ended = os.endDocPrinter(printer);
    if (!ended) os.messageBox("Trasmissione dati alla stampante fallito", kCaption);
    os.closePrinter(printer);
    resources.close(file);
    resources.release(buffer);
    return ended ? HOSTUTIL_PRINT_DONE : HOSTUTIL_PRINT_FAILED;
}

}  // namespace hostutil

extern "C" HOSTUTIL_API int32_t HOSTUTIL_CALL PrintFile(const char *printerName,
                                                        const char *outputFile,
                                                        const char *filePath) {
    return hostutil::guardExport(hostutil::fallback::kPrintFile, [&] {
        return hostutil::printFile(printerName, outputFile, filePath);
    });
}
