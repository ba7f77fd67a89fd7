#include "errors.h"

#include <cups/cups.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "backend.h"

namespace hostutil::platform {

namespace {

thread_local uint32_t code = 0;
thread_local std::string text;

uint32_t copyText(const char *from, char *buffer, uint32_t size) {
    if (size == 0) return 0;
    size_t length = std::min<size_t>(std::strlen(from), size - 1);
    std::memcpy(buffer, from, length);
    buffer[length] = 0;
    return static_cast<uint32_t>(length);
}

}  // namespace

namespace linux_errors {

void set(uint32_t newCode, const char *newText) {
    code = newCode;
    text = newText ? newText : "";
}

void setErrno(int value) { set(static_cast<uint32_t>(value), nullptr); }

void setFromSpooler(ipp_status_t fallback) {
    ipp_status_t status = cupsLastError();
    if (status < IPP_STATUS_REDIRECTION_OTHER_SITE) {
        set(fallback, ippErrorString(fallback));
        return;
    }
    set(status, cupsLastErrorString());
}

uint32_t lastCode() { return code; }
const char *lastText() { return text.c_str(); }

}  // namespace linux_errors

uint32_t LinuxBackend::lastError() { return code; }

uint32_t LinuxBackend::formatMessage(uint32_t wanted, char *buffer, uint32_t size) {
    if (size == 0) return 0;
    buffer[0] = 0;
    if (wanted == code && !text.empty()) return copyText(text.c_str(), buffer, size);
    if (wanted == 0) return 0;
    if (wanted < linux_errors::kFirstSpoolerCode) {
        char message[256];
        return copyText(strerror_r(static_cast<int>(wanted), message, sizeof message), buffer,
                        size);
    }
    const char *message = ippErrorString(static_cast<ipp_status_t>(wanted));
    // CUPS spells unknown codes as "0xNNNN": that is no text.
    if (!message || std::strncmp(message, "0x", 2) == 0) return 0;
    return copyText(message, buffer, size);
}

}  // namespace hostutil::platform
