// The spooler on CUPS: one job per document, sent raw to the queue, or the
// document's bytes written to an output file.
#include <cups/cups.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

#include "backend.h"
#include "errors.h"

namespace hostutil::platform {

namespace {

using linux_errors::set;
using linux_errors::setErrno;
using linux_errors::setFromSpooler;

struct PrinterHandle {
    http_t *http = nullptr;
    std::string name;
    FILE *outputFile = nullptr;  // a document sent to a file
    int jobId = 0;               // a document sent to the queue
    uint64_t written = 0;
};

// Tells the server no more documents follow. The server drops a job whose
// only document was empty: it cannot hold an empty document.
bool closeJob(PrinterHandle &handle) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                     "/printers/%s", handle.name.c_str());
    ipp_t *request = ippNewRequest(IPP_OP_CLOSE_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", handle.jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    std::string resource = "/printers/" + handle.name;
    ippDelete(cupsDoRequest(handle.http, request, resource.c_str()));
    return cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

}  // namespace

bool LinuxBackend::openPrinter(const char *name, Handle *printer) {
    *printer = nullptr;
    if (!name || !*name) {
        set(IPP_STATUS_ERROR_NOT_FOUND, ippErrorString(IPP_STATUS_ERROR_NOT_FOUND));
        return false;
    }
    http_t *http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                30000, nullptr);
    if (!http) {
        set(IPP_STATUS_ERROR_SERVICE_UNAVAILABLE,
            ippErrorString(IPP_STATUS_ERROR_SERVICE_UNAVAILABLE));
        return false;
    }
    cups_dest_t *dest = cupsGetNamedDest(http, name, nullptr);
    if (!dest) {
        setFromSpooler(IPP_STATUS_ERROR_NOT_FOUND);
        httpClose(http);
        return false;
    }
    // Jobs go to the queue itself, whatever instance the name picked.
    auto *handle = new (std::nothrow) PrinterHandle{http, dest->name};
    cupsFreeDests(1, dest);
    if (!handle) {
        httpClose(http);
        setErrno(ENOMEM);
        return false;
    }
    *printer = handle;
    return true;
}

bool LinuxBackend::startDocPrinter(Handle printer, const char *docName, const char *outputFile) {
    auto *handle = static_cast<PrinterHandle *>(printer);
    if (!handle || handle->outputFile || handle->jobId) {
        setErrno(EINVAL);
        return false;
    }
    if (outputFile) {
        handle->outputFile = std::fopen(outputFile, "wb");
        if (!handle->outputFile) {
            setErrno(errno);
            return false;
        }
        return true;
    }
    const char *title = docName ? docName : "";
    int job = cupsCreateJob(handle->http, handle->name.c_str(), title, 0, nullptr);
    if (job <= 0) {
        setFromSpooler(IPP_STATUS_ERROR_INTERNAL);
        return false;
    }
    if (cupsStartDocument(handle->http, handle->name.c_str(), job, title, CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE) {
        setFromSpooler(IPP_STATUS_ERROR_INTERNAL);
        // A created job without its document would wait in the queue.
        uint32_t code = linux_errors::lastCode();
        std::string text = linux_errors::lastText();
        cupsCancelJob2(handle->http, handle->name.c_str(), job, 0);
        set(code, text.c_str());
        return false;
    }
    handle->jobId = job;
    handle->written = 0;
    return true;
}

bool LinuxBackend::writePrinter(Handle printer, const void *data, uint32_t size) {
    auto *handle = static_cast<PrinterHandle *>(printer);
    if (!handle) {
        setErrno(EINVAL);
        return false;
    }
    if (handle->outputFile) {
        if (std::fwrite(data, 1, size, handle->outputFile) != size) {
            setErrno(errno ? errno : EIO);
            return false;
        }
        return true;
    }
    if (!handle->jobId) {
        setErrno(EINVAL);
        return false;
    }
    if (cupsWriteRequestData(handle->http, static_cast<const char *>(data), size) !=
        HTTP_STATUS_CONTINUE) {
        setFromSpooler(IPP_STATUS_ERROR_INTERNAL);
        return false;
    }
    handle->written += size;
    return true;
}

bool LinuxBackend::endDocPrinter(Handle printer) {
    auto *handle = static_cast<PrinterHandle *>(printer);
    if (!handle) {
        setErrno(EINVAL);
        return false;
    }
    bool ended = true;
    if (handle->outputFile) {
        // Buffered bytes reach the file only now.
        if (std::fclose(handle->outputFile) != 0) {
            setErrno(errno ? errno : EIO);
            ended = false;
        }
        handle->outputFile = nullptr;
    }
    if (handle->jobId) {
        const ipp_status_t finished = cupsFinishDocument(handle->http, handle->name.c_str());
        if (handle->written == 0) {
            if (!closeJob(*handle)) {
                setFromSpooler(IPP_STATUS_ERROR_INTERNAL);
                ended = false;
            }
        } else if (finished > IPP_STATUS_OK_EVENTS_COMPLETE) {
            setFromSpooler(IPP_STATUS_ERROR_INTERNAL);
            ended = false;
        }
        handle->jobId = 0;
    }
    return ended;
}

void LinuxBackend::closePrinter(Handle printer) {
    auto *handle = static_cast<PrinterHandle *>(printer);
    if (!handle) return;
    endDocPrinter(handle);
    httpClose(handle->http);
    delete handle;
}

}  // namespace hostutil::platform
