#include "print_file.h"

#include <cstdio>

#include "export_guard.h"
#include "hostutil.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace hostutil {

namespace {

constexpr const char *kCaption = "Prn Bypass";

const char *shown(const char *text) { return text ? text : "(null)"; }

long shownCode(uint32_t code) { return static_cast<long>(static_cast<int32_t>(code)); }

// The system's text for the failure in a second box; a code without text
// still gets one, so the user sees the same boxes whatever the system knows.
void showSystemText(platform::Platform &os, const platform::SpoolerResult &failure,
                    char (&message)[kMessageSize]) {
    if (failure.text.empty())
        std::snprintf(message, kMessageSize, "Errore di sistema %ld", shownCode(failure.code));
    else
        std::snprintf(message, kMessageSize, "%s", failure.text.c_str());
    os.messageBox(message, kCaption);
}

}  // namespace

int32_t printFile(const char *printerName, const char *outputFile, const char *filePath) {
    platform::Platform &os = platform::current();
    char message[kMessageSize];

    auto *buffer = static_cast<char *>(os.allocate(kTransferSize));
    if (!buffer) {
        os.messageBox("Memoria insufficente per copiare il file", kCaption);
        return HOSTUTIL_PRINT_FAILED;
    }

    // Each path gives back what it took in the order a host has always seen
    // (the journal of the tests holds it): the early failures the buffer
    // first, the end of a started job the cursor, the document, the printer,
    // the file, then the buffer.
    FILE *file = filePath ? os.openFile(filePath, "rb") : nullptr;
    if (!file) {
        std::snprintf(message, sizeof message, "Non posso aprire il '%s' per leggerlo.",
                      shown(filePath));
        os.messageBox(message, kCaption);
        os.release(buffer);
        return HOSTUTIL_PRINT_FAILED;
    }

    platform::Handle printer = nullptr;
    if (const platform::SpoolerResult opened = os.openPrinter(printerName, &printer); !opened) {
        std::snprintf(message, sizeof message, "OpenPrinter per '%s' fallita: %ld",
                      shown(printerName), shownCode(opened.code));
        os.messageBox(message, kCaption);
        showSystemText(os, opened, message);
        os.release(buffer);
        os.closeFile(file);
        return HOSTUTIL_PRINT_FAILED;
    }

    platform::Document document;
    document.name = filePath;
    document.outputFile = outputFile;
    document.length = platform::lengthOfOpenFile(file);
    if (const platform::SpoolerResult started = os.startDocPrinter(printer, document); !started) {
        std::snprintf(message, sizeof message, "Inizio stampa su '%s' fallita: %ld",
                      shown(outputFile), shownCode(started.code));
        os.messageBox(message, kCaption);
        showSystemText(os, started, message);
        os.closePrinter(printer);
        os.release(buffer);
        os.closeFile(file);
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
            os.closeFile(file);
            os.release(buffer);
            return HOSTUTIL_PRINT_FAILED;
        }
    }
    os.setCursor(previousCursor);
    // The job counts only once the spooler has taken all of it.
    const bool ended = static_cast<bool>(os.endDocPrinter(printer));
    if (!ended) os.messageBox("Trasmissione dati alla stampante fallito", kCaption);
    os.closePrinter(printer);
    os.closeFile(file);
    os.release(buffer);
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
