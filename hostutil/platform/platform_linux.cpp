// Linux backend: CUPS for the spooler, host-installed hooks for the message
// box and the print dialog, posix_spawn for processes, the realtime clock.
#include "platform_linux.h"

#include <cups/cups.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "hostutil.h"

extern char **environ;

namespace hostutil::platform {

namespace {

// Error codes below this are errno values of local file operations; from it
// up they are IPP status codes of the spooler.
constexpr uint32_t kFirstSpoolerCode = 0x100;

// The text of the last failure, kept with its code like the thread's last
// error on other systems.
thread_local uint32_t lastCode = 0;
thread_local std::string lastText;

void setError(uint32_t code, const char *text) {
    lastCode = code;
    lastText = text ? text : "";
}

void setSpoolerError(ipp_status_t fallback) {
    ipp_status_t status = cupsLastError();
    // A failure that left no error status still reports one.
    if (status < IPP_STATUS_REDIRECTION_OTHER_SITE) {
        setError(fallback, ippErrorString(fallback));
        return;
    }
    setError(status, cupsLastErrorString());
}

void setErrno(int code) { setError(static_cast<uint32_t>(code), nullptr); }

HostutilMessageHandler messageHandler = nullptr;
HostutilDialogProvider dialogProvider = nullptr;

struct PrinterHandle {
    http_t *http = nullptr;
    std::string name;
    FILE *outputFile = nullptr;  // a document sent to a file
    int jobId = 0;               // a document sent to the queue
    uint64_t written = 0;
};

// Tells the server no more documents follow. The server drops a job whose
// only document was empty: it cannot hold an empty document.
void closeJob(PrinterHandle &handle) {
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
}

struct ChildHandle {
    pid_t pid = 0;
    int status = 0;
    bool reaped = false;
};

uint32_t copyText(const char *text, char *buffer, uint32_t size) {
    if (size == 0) return 0;
    size_t length = std::min<size_t>(std::strlen(text), size - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = 0;
    return static_cast<uint32_t>(length);
}

// The longest name the dialog hands on: the device-names block addresses its
// strings with 16-bit offsets.
constexpr size_t kDialogNameLimit = 16383;

class Linux final : public Platform {
public:
    bool openPrinter(const char *name, Handle *printer) override {
        *printer = nullptr;
        if (!name || !*name) {
            setError(IPP_STATUS_ERROR_NOT_FOUND, ippErrorString(IPP_STATUS_ERROR_NOT_FOUND));
            return false;
        }
        http_t *http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                                    1, 30000, nullptr);
        if (!http) {
            setError(IPP_STATUS_ERROR_SERVICE_UNAVAILABLE,
                     ippErrorString(IPP_STATUS_ERROR_SERVICE_UNAVAILABLE));
            return false;
        }
        cups_dest_t *dest = cupsGetNamedDest(http, name, nullptr);
        if (!dest) {
            setSpoolerError(IPP_STATUS_ERROR_NOT_FOUND);
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

    bool startDocPrinter(Handle printer, const char *docName, const char *outputFile) override {
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
            setSpoolerError(IPP_STATUS_ERROR_INTERNAL);
            return false;
        }
        if (cupsStartDocument(handle->http, handle->name.c_str(), job, title, CUPS_FORMAT_RAW, 1) !=
            HTTP_STATUS_CONTINUE) {
            setSpoolerError(IPP_STATUS_ERROR_INTERNAL);
            // A created job without its document would wait in the queue.
            uint32_t code = lastCode;
            std::string text = lastText;
            cupsCancelJob2(handle->http, handle->name.c_str(), job, 0);
            setError(code, text.c_str());
            return false;
        }
        handle->jobId = job;
        handle->written = 0;
        return true;
    }

    bool writePrinter(Handle printer, const void *data, uint32_t size) override {
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
            setSpoolerError(IPP_STATUS_ERROR_INTERNAL);
            return false;
        }
        handle->written += size;
        return true;
    }

    void endDocPrinter(Handle printer) override {
        auto *handle = static_cast<PrinterHandle *>(printer);
        if (!handle) return;
        if (handle->outputFile) {
            std::fclose(handle->outputFile);
            handle->outputFile = nullptr;
        }
        if (handle->jobId) {
            cupsFinishDocument(handle->http, handle->name.c_str());
            if (handle->written == 0) closeJob(*handle);
            handle->jobId = 0;
        }
    }

    void closePrinter(Handle printer) override {
        auto *handle = static_cast<PrinterHandle *>(printer);
        if (!handle) return;
        endDocPrinter(handle);
        httpClose(handle->http);
        delete handle;
    }

    uint32_t lastError() override { return lastCode; }

    uint32_t formatMessage(uint32_t code, char *buffer, uint32_t size) override {
        if (size == 0) return 0;
        buffer[0] = 0;
        if (code == lastCode && !lastText.empty()) return copyText(lastText.c_str(), buffer, size);
        if (code == 0) return 0;
        if (code < kFirstSpoolerCode) {
            char text[256];
            return copyText(strerror_r(static_cast<int>(code), text, sizeof text), buffer, size);
        }
        const char *text = ippErrorString(static_cast<ipp_status_t>(code));
        // CUPS spells unknown codes as "0xNNNN": that is no text.
        if (!text || std::strncmp(text, "0x", 2) == 0) return 0;
        return copyText(text, buffer, size);
    }

    void messageBox(const char *text, const char *caption) override {
        if (messageHandler) {
            messageHandler(caption, text);
            return;
        }
        std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
        std::fflush(stderr);
    }

    Handle setWaitCursor() override { return nullptr; }
    void setCursor(Handle) override {}

    int32_t printDialog(PrintDialogRecord &record) override {
        if (!dialogProvider) return 0;
        HostutilDialogRequest request{};
        request.flags = record.flags;
        request.copies = record.copies;
        request.fromPage = record.fromPage;
        request.toPage = record.toPage;
        request.minPage = record.minPage;
        request.maxPage = record.maxPage;
        int32_t result = dialogProvider(&request);
        if (result == 0) return 0;

        std::string names[3] = {request.driverName ? request.driverName : "",
                                request.deviceName ? request.deviceName : "",
                                request.portName ? request.portName : ""};
        size_t total = sizeof(DevNames);
        for (auto &name : names) {
            if (name.size() > kDialogNameLimit) name.resize(kDialogNameLimit);
            total += name.size() + 1;
        }
        char *block = static_cast<char *>(std::calloc(1, total));
        if (!block) return 0;
        DevNames header{};
        uint16_t *offsets[3] = {&header.driverOffset, &header.deviceOffset, &header.outputOffset};
        size_t at = sizeof(DevNames);
        for (int i = 0; i < 3; ++i) {
            *offsets[i] = static_cast<uint16_t>(at);
            std::memcpy(block + at, names[i].c_str(), names[i].size() + 1);
            at += names[i].size() + 1;
        }
        std::memcpy(block, &header, sizeof header);

        record.devNames = block;
        record.devMode = nullptr;
        record.deviceContext = request.deviceContext;
        record.copies = request.copies;
        record.fromPage = request.fromPage;
        record.toPage = request.toPage;
        return result;
    }

    // Global blocks are heap blocks; locking moves nothing.
    void *globalLock(Handle block) override { return block; }
    void globalUnlock(Handle) override {}
    void globalFree(Handle block) override { std::free(block); }

    uint32_t getProfileString(const char *section, const char *key, const char *fallback,
                              char *buffer, uint32_t size) override {
        const char *value = fallback ? fallback : "";
        std::string entry;
        if (section && key && std::strcmp(section, "windows") == 0 &&
            std::strcmp(key, "device") == 0) {
            if (cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr)) {
                const char *model =
                    cupsGetOption("printer-make-and-model", dest->num_options, dest->options);
                const char *uri = cupsGetOption("device-uri", dest->num_options, dest->options);
                entry =
                    std::string(dest->name) + "," + (model ? model : "") + "," + (uri ? uri : "");
                cupsFreeDests(1, dest);
                value = entry.c_str();
            }
        }
        return copyText(value, buffer, size);
    }

    bool pathExists(const char *path) override {
        struct stat info;
        return path && ::stat(path, &info) == 0;
    }

    int createProcess(const char *application, const char *commandLine,
                      ProcessInfo &info) override {
        info = {};
        std::vector<std::string> words = posix::splitCommandLine(commandLine);
        std::vector<char *> argv;
        argv.reserve(words.size() + 1);
        for (auto &word : words) argv.push_back(word.data());
        argv.push_back(nullptr);

        auto *child = new (std::nothrow) ChildHandle;
        if (!child) return ENOMEM;
        int error = posix_spawn(&child->pid, application, nullptr, nullptr, argv.data(), environ);
        if (error != 0) {
            delete child;
            return error;
        }
        info.process = child;
        return 0;
    }

    void waitForExit(Handle process) override {
        auto *child = static_cast<ChildHandle *>(process);
        if (!child || child->reaped) return;
        while (waitpid(child->pid, &child->status, 0) < 0) {
            if (errno != EINTR) return;
        }
        child->reaped = true;
    }

    uint32_t exitCode(Handle process) override {
        auto *child = static_cast<ChildHandle *>(process);
        if (!child || !child->reaped) return 259;  // still active
        if (WIFEXITED(child->status)) return static_cast<uint32_t>(WEXITSTATUS(child->status));
        return 128u + static_cast<uint32_t>(WTERMSIG(child->status));
    }

    void closeHandle(Handle handle) override {
        auto *child = static_cast<ChildHandle *>(handle);
        if (!child) return;
        // A handle closed before its wait still must not leave a zombie.
        if (!child->reaped) waitForExit(child);
        delete child;
    }

    void getLocalTime(SystemTime &time) override {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm local{};
        localtime_r(&now.tv_sec, &local);
        time.year = static_cast<uint16_t>(local.tm_year + 1900);
        time.month = static_cast<uint16_t>(local.tm_mon + 1);
        time.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
        time.day = static_cast<uint16_t>(local.tm_mday);
        time.hour = static_cast<uint16_t>(local.tm_hour);
        time.minute = static_cast<uint16_t>(local.tm_min);
        time.second = static_cast<uint16_t>(std::min(local.tm_sec, 59));
        time.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
    }

    bool setLocalTime(const SystemTime &time) override {
        timespec instant{};
        if (!posix::toInstant(time, instant)) return false;
        return clock_settime(CLOCK_REALTIME, &instant) == 0;
    }
};

bool leapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : days[month - 1];
}

}  // namespace

namespace posix {

bool toInstant(const SystemTime &time, timespec &out) {
    if (time.year < 1601 || time.year > 30827) return false;
    if (time.month < 1 || time.month > 12) return false;
    if (time.day < 1 || time.day > daysInMonth(time.year, time.month)) return false;
    if (time.hour > 23 || time.minute > 59 || time.second > 59 || time.milliseconds > 999)
        return false;
    tm local{};
    local.tm_year = time.year - 1900;
    local.tm_mon = time.month - 1;
    local.tm_mday = time.day;
    local.tm_hour = time.hour;
    local.tm_min = time.minute;
    local.tm_sec = time.second;
    local.tm_isdst = -1;
    errno = 0;
    time_t seconds = mktime(&local);
    if (seconds == static_cast<time_t>(-1) && errno != 0) return false;
    out.tv_sec = seconds;
    out.tv_nsec = static_cast<long>(time.milliseconds) * 1000000L;
    return true;
}

std::vector<std::string> splitCommandLine(const char *commandLine) {
    std::vector<std::string> words(1);
    for (const char *c = commandLine ? commandLine : ""; *c; ++c) {
        if (*c == ' ')
            words.emplace_back();
        else
            words.back() += *c;
    }
    return words;
}

}  // namespace posix

Platform &native() {
    static Linux backend;
    return backend;
}

}  // namespace hostutil::platform

extern "C" {

HOSTUTIL_API void HOSTUTIL_CALL SetMessageHandler(HostutilMessageHandler handler) {
    hostutil::platform::messageHandler = handler;
}

HOSTUTIL_API void HOSTUTIL_CALL SetDialogProvider(HostutilDialogProvider provider) {
    hostutil::platform::dialogProvider = provider;
}
}
