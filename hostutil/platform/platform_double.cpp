#include "platform_double.h"

#include <algorithm>
#include <cstring>

namespace hostutil::platform {

namespace {
// Distinct addresses that stand for handles; never dereferenced.
char printerToken, waitCursorToken, previousCursorToken, processToken, threadToken;

std::string text(const char *s) { return s ? s : "(null)"; }
}  // namespace

PlatformDouble::PlatformDouble() {
    roles_[&printerToken] = "printer";
    roles_[&waitCursorToken] = "waitCursor";
    roles_[&previousCursorToken] = "previousCursor";
    roles_[&processToken] = "process";
    roles_[&threadToken] = "thread";
    roles_[nullptr] = "null";
}

std::string PlatformDouble::name(Handle handle) const {
    auto found = roles_.find(handle);
    return found == roles_.end() ? "unknown" : found->second;
}

size_t PlatformDouble::liveBlocks() const { return blocks_.size(); }

bool PlatformDouble::openPrinter(const char *printerName, Handle *printer) {
    record("openPrinter(" + text(printerName) + ")");
    if (!openSucceeds) {
        error_ = openError;
        *printer = nullptr;
        return false;
    }
    *printer = &printerToken;
    return true;
}

bool PlatformDouble::startDocPrinter(Handle printer, const char *docName, const char *outputFile) {
    record("startDocPrinter(" + name(printer) + "|" + text(docName) + "|" + text(outputFile) + ")");
    if (!startSucceeds) error_ = startError;
    return startSucceeds;
}

bool PlatformDouble::writePrinter(Handle printer, const void *data, uint32_t size) {
    record("writePrinter(" + name(printer) + "|" + std::to_string(size) + ")");
    if (++writes_ == failingWrite) {
        error_ = writeError;
        return false;
    }
    written.append(static_cast<const char *>(data), size);
    return true;
}

void PlatformDouble::endDocPrinter(Handle printer) {
    record("endDocPrinter(" + name(printer) + ")");
}

void PlatformDouble::closePrinter(Handle printer) { record("closePrinter(" + name(printer) + ")"); }

uint32_t PlatformDouble::lastError() {
    record("lastError()");
    return error_;
}

uint32_t PlatformDouble::formatMessage(uint32_t code, char *buffer, uint32_t size) {
    record("formatMessage(" + std::to_string(code) + "|" + std::to_string(size) + ")");
    auto found = errorTexts.find(code);
    if (found == errorTexts.end() || size == 0) return 0;
    // Fills the buffer as far as it goes, to catch callers that size it wrongly.
    size_t length = std::min<size_t>(found->second.size(), size - 1);
    std::memcpy(buffer, found->second.data(), length);
    buffer[length] = 0;
    return static_cast<uint32_t>(length);
}

void PlatformDouble::messageBox(const char *message, const char *caption) {
    record("messageBox(" + text(caption) + "|" + text(message) + ")");
}

Handle PlatformDouble::setWaitCursor() {
    record("setWaitCursor()");
    return &previousCursorToken;
}

void PlatformDouble::setCursor(Handle cursor) { record("setCursor(" + name(cursor) + ")"); }

int32_t PlatformDouble::printDialog(PrintDialogRecord &dialog) {
    record("printDialog()");
    dialogSeen = dialog;
    auto block = [this](std::vector<char> bytes, const char *role) {
        auto owned = std::make_unique<std::vector<char>>(std::move(bytes));
        Handle handle = owned->data();
        blocks_[handle] = std::move(owned);
        roles_[handle] = role;
        return handle;
    };
    if (dialogSetsDevMode) dialog.devMode = block(std::vector<char>(64, 'M'), "devMode");
    if (dialogNames) {
        std::vector<char> bytes(sizeof(DevNames));
        DevNames header{};
        uint16_t *offsets[3] = {&header.driverOffset, &header.deviceOffset, &header.outputOffset};
        for (size_t i = 0; i < 3; ++i) {
            *offsets[i] = static_cast<uint16_t>(bytes.size());
            const std::string &s = i < dialogNames->size() ? (*dialogNames)[i] : std::string();
            bytes.insert(bytes.end(), s.begin(), s.end());
            bytes.push_back(0);
        }
        std::memcpy(bytes.data(), &header, sizeof header);
        dialog.devNames = block(std::move(bytes), "devNames");
    }
    // Like the real dialog, the result fields change only on confirmation.
    if (dialogResult != 0) {
        dialog.flags |= 0x2;  // the dialog reports the range option the user picked
        dialog.copies = dialogCopies;
        dialog.fromPage = dialogFromPage;
        dialog.toPage = dialogToPage;
        dialog.deviceContext = dialogDeviceContext;
    }
    return dialogResult;
}

void *PlatformDouble::globalLock(Handle block) {
    record("globalLock(" + name(block) + ")");
    return blocks_.count(block) ? block : nullptr;
}

void PlatformDouble::globalUnlock(Handle block) { record("globalUnlock(" + name(block) + ")"); }

void PlatformDouble::globalFree(Handle block) {
    record("globalFree(" + name(block) + ")");
    blocks_.erase(block);
}

uint32_t PlatformDouble::getProfileString(const char *section, const char *key,
                                          const char *fallback, char *buffer, uint32_t size) {
    record("getProfileString(" + text(section) + "|" + text(key) + "|" + text(fallback) + "|" +
           std::to_string(size) + ")");
    std::string value = profileEntry ? *profileEntry : text(fallback);
    if (size == 0) return 0;
    size_t length = std::min<size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), length);
    buffer[length] = 0;
    return static_cast<uint32_t>(length);
}

bool PlatformDouble::pathExists(const char *path) {
    record("pathExists(" + text(path) + ")");
    return path && existingPaths.count(path);
}

int PlatformDouble::createProcess(const char *application, const char *commandLine,
                                  ProcessInfo &info) {
    record("createProcess(" + text(application) + "|" + text(commandLine) + ")");
    if (createError) return createError;
    info.process = &processToken;
    info.thread = &threadToken;
    return 0;
}

void PlatformDouble::waitForExit(Handle process) { record("waitForExit(" + name(process) + ")"); }

uint32_t PlatformDouble::exitCode(Handle process) {
    record("exitCode(" + name(process) + ")");
    return childExitCode;
}

void PlatformDouble::closeHandle(Handle handle) { record("closeHandle(" + name(handle) + ")"); }

void PlatformDouble::getLocalTime(SystemTime &time) {
    record("getLocalTime()");
    time = now;
}

bool PlatformDouble::setLocalTime(const SystemTime &time) {
    record("setLocalTime()");
    timeSet = time;
    return setTimeSucceeds;
}

}  // namespace hostutil::platform
