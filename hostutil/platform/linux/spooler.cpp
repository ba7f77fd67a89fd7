// The spooler on CUPS: one job per document, sent raw to the queue, or the
// document's bytes written to an output file.
#include <cups/cups.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "backend.h"
#include "platform/files.h"
#include "posix.h"

namespace hostutil::platform {

namespace posix {

SpoolerResult errnoFailure(int code) {
    char text[256];
    return SpoolerResult::failure(static_cast<uint32_t>(code), strerror_r(code, text, sizeof text));
}

SpoolerResult spoolerFailure(ipp_status_t status, const char *text) {
    // CUPS spells codes it has no name for as "0xNNNN": that is no text.
    if (!text || !*text) text = ippErrorString(status);
    if (!text || std::strncmp(text, "0x", 2) == 0) text = "";
    return SpoolerResult::failure(static_cast<uint32_t>(status), text);
}

}  // namespace posix

namespace {

// The server's last status, or `fallback` when the failure left none (a
// connection that broke before any answer).
SpoolerResult lastSpoolerFailure(ipp_status_t fallback) {
    const ipp_status_t status = cupsLastError();
    if (status < IPP_STATUS_REDIRECTION_OTHER_SITE) return posix::spoolerFailure(fallback, nullptr);
    return posix::spoolerFailure(status, cupsLastErrorString());
}

// The errno of the call that just failed, EIO when it left none.
SpoolerResult lastErrnoFailure() { return posix::errnoFailure(errno ? errno : EIO); }

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

SpoolerResult LinuxBackend::openPrinter(const char *name, Handle *printer) {
    *printer = nullptr;
    if (!name || !*name) return posix::spoolerFailure(IPP_STATUS_ERROR_NOT_FOUND, nullptr);
    http_t *http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                30000, nullptr);
    if (!http) return posix::spoolerFailure(IPP_STATUS_ERROR_SERVICE_UNAVAILABLE, nullptr);
    cups_dest_t *dest = cupsGetNamedDest(http, name, nullptr);
    if (!dest) {
        SpoolerResult failure = lastSpoolerFailure(IPP_STATUS_ERROR_NOT_FOUND);
        httpClose(http);
        return failure;
    }
    // Jobs go to the queue itself, whatever instance the name picked.
    auto *handle = new (std::nothrow) PrinterHandle{http, dest->name, nullptr};
    cupsFreeDests(1, dest);
    if (!handle) {
        httpClose(http);
        return posix::errnoFailure(ENOMEM);
    }
    *printer = handle;
    return SpoolerResult::success();
}

SpoolerResult LinuxBackend::startDocPrinter(Handle printer, const Document &document) {
    auto *handle = static_cast<PrinterHandle *>(printer);
    if (!handle || handle->outputFile || handle->jobId) return posix::errnoFailure(EINVAL);
    if (document.outputFile) {
        auto file = std::make_unique<DestinationFile>(document.outputFile);
        if (!file->isOpen() || (document.length && !file->reserve(*document.length)))
            return lastErrnoFailure();
        handle->outputFile = std::move(file);
        return SpoolerResult::success();
    }
    const char *title = document.name ? document.name : "";
    int job = cupsCreateJob(handle->http, handle->name.c_str(), title, 0, nullptr);
    if (job <= 0) return lastSpoolerFailure(IPP_STATUS_ERROR_INTERNAL);
    if (cupsStartDocument(handle->http, handle->name.c_str(), job, title, CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE) {
        SpoolerResult failure = lastSpoolerFailure(IPP_STATUS_ERROR_INTERNAL);
        // A created job without its document would wait in the queue.
        cupsCancelJob2(handle->http, handle->name.c_str(), job, 0);
        return failure;
    }
    handle->jobId = job;
    handle->written = 0;
    return SpoolerResult::success();
}

SpoolerResult LinuxBackend::writePrinter(Handle printer, const void *data, uint32_t size) {
    auto *handle = static_cast<PrinterHandle *>(printer);
    if (!handle) return posix::errnoFailure(EINVAL);
    if (handle->outputFile) {
        if (!handle->outputFile->write(data, size)) return lastErrnoFailure();
        return SpoolerResult::success();
    }
    if (!handle->jobId) return posix::errnoFailure(EINVAL);
    if (cupsWriteRequestData(handle->http, static_cast<const char *>(data), size) !=
        HTTP_STATUS_CONTINUE)
        return lastSpoolerFailure(IPP_STATUS_ERROR_INTERNAL);
    handle->written += size;
    return SpoolerResult::success();
}

SpoolerResult LinuxBackend::endDocPrinter(Handle printer) {
    auto *handle = static_cast<PrinterHandle *>(printer);
    if (!handle) return posix::errnoFailure(EINVAL);
    SpoolerResult ended = SpoolerResult::success();
    if (handle->outputFile) {
        // A file that could not be completed is undone as the handle goes.
        if (!handle->outputFile->finish()) ended = lastErrnoFailure();
        handle->outputFile.reset();
    }
    if (handle->jobId) {
        bool finished = finishDocument(*handle);
        // The server cannot hold an empty document: only the job's close
        // tells whether it was taken.
        if (handle->written == 0) finished = closeJob(*handle);
        if (!finished) ended = lastSpoolerFailure(IPP_STATUS_ERROR_INTERNAL);
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
