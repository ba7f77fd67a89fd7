// The spooler on CUPS: one job per document, sent raw to the queue, or the
// document's bytes written to an output file.
#include <cups/cups.h>

#include <cerrno>
#include <memory>
#include <new>
#include <string>

#include "backend.h"
#include "errors.h"
#include "platform/files.h"

namespace hostutil::platform {

namespace {

using linux_errors::set;
using linux_errors::setErrno;
using linux_errors::setFromSpooler;

struct PrinterHandle {
    http_t *http = nullptr;
    std::string name;
    std::unique_ptr<DestinationFile> outputFile;  // a document sent to a file
    int jobId = 0;                                // a document sent to the queue
    uint64_t written = 0;
};

// Ends the request body and takes the server's answer to the document. No
// answer (the server went away before the end) is a failure, as is any
// status past the successful range: the status of an earlier request left
// in place proves nothing about this one.
bool finishDocument(PrinterHandle &handle) {
    const std::string resource = "/printers/" + handle.name;
    ipp_t *response = cupsGetResponse(handle.http, resource.c_str());
    if (!response) return false;
    const ipp_status_t status = ippGetStatusCode(response);
    ippDelete(response);
    return status <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

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
    auto *handle = new (std::nothrow) PrinterHandle{http, dest->name, nullptr};
    cupsFreeDests(1, dest);
    if (!handle) {
        httpClose(http);
        setErrno(ENOMEM);
        return false;
    }
    *printer = handle;
    return true;
}

bool LinuxBackend::startDocPrinter(Handle printer, const Document &document) {
    auto *handle = static_cast<PrinterHandle *>(printer);
    if (!handle || handle->outputFile || handle->jobId) {
        setErrno(EINVAL);
        return false;
    }
    if (document.outputFile) {
        auto file = std::make_unique<DestinationFile>(document.outputFile);
        if (!file->isOpen() || (document.length && !file->reserve(*document.length))) {
            setErrno(errno ? errno : EIO);
            return false;
        }
        handle->outputFile = std::move(file);
        return true;
    }
    const char *title = document.name ? document.name : "";
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
        if (!handle->outputFile->write(data, size)) {
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
        // A file that could not be completed is undone as the handle goes.
        if (!handle->outputFile->finish()) {
            setErrno(errno ? errno : EIO);
            ended = false;
        }
        handle->outputFile.reset();
    }
    if (handle->jobId) {
        bool finished = finishDocument(*handle);
        // The server cannot hold an empty document: only the job's close
        // tells whether it was taken.
        if (handle->written == 0) finished = closeJob(*handle);
        if (!finished) {
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
