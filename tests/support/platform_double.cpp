#include "platform_double.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace test {

namespace {
// Distinct addresses that stand for handles; never dereferenced.
char printerToken, previousCursorToken, processToken, threadToken;

std::string text(const char *s) { return s ? s : "(null)"; }

std::string role(Handle handle) {
    if (handle == &printerToken) return "printer";
    if (handle == &previousCursorToken) return "previousCursor";
    if (handle == &processToken) return "process";
    if (handle == &threadToken) return "thread";
    return handle ? "unknown" : "null";
}

// Fills the buffer as far as it goes, to catch callers that size it wrongly.
uint32_t copyCut(const std::string &from, char *buffer, uint32_t size) {
    if (size == 0) return 0;
    const size_t length = std::min<size_t>(from.size(), size - 1);
    std::memcpy(buffer, from.data(), length);
    buffer[length] = 0;
    return static_cast<uint32_t>(length);
}
}  // namespace

bool PlatformDouble::fails(Operation operation) {
    const std::optional<uint32_t> code = faults.next(operation);
    if (code) error_ = *code;
    return code.has_value();
}

bool PlatformDouble::openPrinter(const char *printerName, Handle *printer) {
    record("openPrinter(" + text(printerName) + ")");
    *printer = fails(Operation::OpenPrinter) ? nullptr : &printerToken;
    return *printer != nullptr;
}

bool PlatformDouble::startDocPrinter(Handle printer, const Document &document) {
    record("startDocPrinter(" + role(printer) + "|" + text(document.name) + "|" +
           text(document.outputFile) + ")");
    documentLength = document.length;
    return !fails(Operation::StartDocPrinter);
}

bool PlatformDouble::writePrinter(Handle printer, const void *data, uint32_t size) {
    record("writePrinter(" + role(printer) + "|" + std::to_string(size) + ")");
    if (fails(Operation::WritePrinter)) return false;
    written.append(static_cast<const char *>(data), size);
    return true;
}

bool PlatformDouble::endDocPrinter(Handle printer) {
    record("endDocPrinter(" + role(printer) + ")");
    return !fails(Operation::EndDocPrinter);
}

void PlatformDouble::closePrinter(Handle printer) { record("closePrinter(" + role(printer) + ")"); }

uint32_t PlatformDouble::lastError() {
    record("lastError()");
    return error_;
}

uint32_t PlatformDouble::formatMessage(uint32_t code, char *buffer, uint32_t size) {
    record("formatMessage(" + std::to_string(code) + "|" + std::to_string(size) + ")");
    auto found = errorTexts.find(code);
    return found == errorTexts.end() ? 0 : copyCut(found->second, buffer, size);
}

void PlatformDouble::messageBox(const char *message, const char *caption) {
    record("messageBox(" + text(caption) + "|" + text(message) + ")");
}

Handle PlatformDouble::setWaitCursor() {
    record("setWaitCursor()");
    return &previousCursorToken;
}

void PlatformDouble::setCursor(Handle cursor) { record("setCursor(" + role(cursor) + ")"); }

int32_t PlatformDouble::printDialog(const PrintDialogRequest &request, PrintDialogChoice &choice) {
    record("printDialog()");
    dialogSeen = request;
    // Like the real dialog, the choice is filled only on confirmation.
    if (fails(Operation::PrintDialog)) return 0;
    choice = dialogChoice;
    return dialogResult;
}

PrinterNames PlatformDouble::defaultPrinter() {
    record("defaultPrinter()");
    return defaultNames;
}

bool PlatformDouble::pathExists(const char *path) {
    record("pathExists(" + text(path) + ")");
    const bool failed = fails(Operation::PathExists);
    return !failed && path && existingPaths.count(path);
}

int PlatformDouble::createProcess(const char *application, const char *commandLine,
                                  ProcessInfo &info) {
    record("createProcess(" + text(application) + "|" + text(commandLine) + ")");
    if (fails(Operation::CreateProcess)) return static_cast<int>(error_);
    info.process = &processToken;
    info.thread = &threadToken;
    return 0;
}

void PlatformDouble::waitForExit(Handle process) { record("waitForExit(" + role(process) + ")"); }

uint32_t PlatformDouble::exitCode(Handle process) {
    record("exitCode(" + role(process) + ")");
    return childExitCode;
}

void PlatformDouble::closeHandle(Handle handle) { record("closeHandle(" + role(handle) + ")"); }

void PlatformDouble::getLocalTime(SystemTime &time) {
    record("getLocalTime()");
    time = now;
}

bool PlatformDouble::setLocalTime(const SystemTime &time) {
    record("setLocalTime()");
    timeSet = time;
    return !fails(Operation::SetLocalTime);
}

// ---- FailingPlatform ----------------------------------------------------

namespace {
// ERROR_INVALID_FUNCTION: what every failed call reports.
constexpr uint32_t kFailure = 1;
}  // namespace

bool FailingPlatform::openPrinter(const char *, Handle *printer) {
    unexpected("openPrinter");
    *printer = nullptr;
    return false;
}
bool FailingPlatform::startDocPrinter(Handle, const Document &) {
    unexpected("startDocPrinter");
    return false;
}
bool FailingPlatform::writePrinter(Handle, const void *, uint32_t) {
    unexpected("writePrinter");
    return false;
}
bool FailingPlatform::endDocPrinter(Handle) {
    unexpected("endDocPrinter");
    return false;
}
void FailingPlatform::closePrinter(Handle) { unexpected("closePrinter"); }
uint32_t FailingPlatform::lastError() {
    unexpected("lastError");
    return kFailure;
}
uint32_t FailingPlatform::formatMessage(uint32_t, char *buffer, uint32_t size) {
    unexpected("formatMessage");
    if (size) buffer[0] = 0;
    return 0;
}
void FailingPlatform::messageBox(const char *, const char *) { unexpected("messageBox"); }
Handle FailingPlatform::setWaitCursor() {
    unexpected("setWaitCursor");
    return nullptr;
}
void FailingPlatform::setCursor(Handle) { unexpected("setCursor"); }
int32_t FailingPlatform::printDialog(const PrintDialogRequest &, PrintDialogChoice &) {
    unexpected("printDialog");
    return 0;
}
PrinterNames FailingPlatform::defaultPrinter() {
    unexpected("defaultPrinter");
    return {};
}
bool FailingPlatform::pathExists(const char *) {
    unexpected("pathExists");
    return false;
}
int FailingPlatform::createProcess(const char *, const char *, ProcessInfo &info) {
    unexpected("createProcess");
    info = {};
    return EINVAL;
}
void FailingPlatform::waitForExit(Handle) { unexpected("waitForExit"); }
uint32_t FailingPlatform::exitCode(Handle) {
    unexpected("exitCode");
    return 0;
}
void FailingPlatform::closeHandle(Handle) { unexpected("closeHandle"); }
void FailingPlatform::getLocalTime(SystemTime &time) {
    unexpected("getLocalTime");
    time = {};
}
bool FailingPlatform::setLocalTime(const SystemTime &) {
    unexpected("setLocalTime");
    return false;
}

// ---- ForwardingPlatform -------------------------------------------------

bool ForwardingPlatform::openPrinter(const char *name, Handle *printer) {
    return to_.openPrinter(name, printer);
}
bool ForwardingPlatform::startDocPrinter(Handle printer, const Document &document) {
    return to_.startDocPrinter(printer, document);
}
bool ForwardingPlatform::writePrinter(Handle printer, const void *data, uint32_t size) {
    return to_.writePrinter(printer, data, size);
}
bool ForwardingPlatform::endDocPrinter(Handle printer) { return to_.endDocPrinter(printer); }
void ForwardingPlatform::closePrinter(Handle printer) { to_.closePrinter(printer); }
uint32_t ForwardingPlatform::lastError() { return to_.lastError(); }
uint32_t ForwardingPlatform::formatMessage(uint32_t code, char *buffer, uint32_t size) {
    return to_.formatMessage(code, buffer, size);
}
void ForwardingPlatform::messageBox(const char *text, const char *caption) {
    to_.messageBox(text, caption);
}
Handle ForwardingPlatform::setWaitCursor() { return to_.setWaitCursor(); }
void ForwardingPlatform::setCursor(Handle cursor) { to_.setCursor(cursor); }
int32_t ForwardingPlatform::printDialog(const PrintDialogRequest &request,
                                        PrintDialogChoice &choice) {
    return to_.printDialog(request, choice);
}
PrinterNames ForwardingPlatform::defaultPrinter() { return to_.defaultPrinter(); }
bool ForwardingPlatform::pathExists(const char *path) { return to_.pathExists(path); }
int ForwardingPlatform::createProcess(const char *application, const char *commandLine,
                                      ProcessInfo &info) {
    return to_.createProcess(application, commandLine, info);
}
void ForwardingPlatform::waitForExit(Handle process) { to_.waitForExit(process); }
uint32_t ForwardingPlatform::exitCode(Handle process) { return to_.exitCode(process); }
void ForwardingPlatform::closeHandle(Handle handle) { to_.closeHandle(handle); }
void ForwardingPlatform::getLocalTime(SystemTime &time) { to_.getLocalTime(time); }
bool ForwardingPlatform::setLocalTime(const SystemTime &time) { return to_.setLocalTime(time); }

}  // namespace test
