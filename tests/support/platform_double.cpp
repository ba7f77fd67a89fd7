#include "platform_double.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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

}  // namespace

SpoolerResult PlatformDouble::outcome(Operation operation) {
    const std::optional<uint32_t> code = faults.next(operation);
    if (!code) return SpoolerResult::success();
    auto text = errorTexts.find(*code);
    return SpoolerResult::failure(*code, text == errorTexts.end() ? "" : text->second);
}

SpoolerResult PlatformDouble::openPrinter(const char *printerName, Handle *printer) {
    record("openPrinter(" + text(printerName) + ")");
    SpoolerResult result = outcome(Operation::OpenPrinter);
    *printer = result ? &printerToken : nullptr;
    return result;
}

SpoolerResult PlatformDouble::startDocPrinter(Handle printer, const Document &document) {
    record("startDocPrinter(" + role(printer) + "|" + text(document.name) + "|" +
           text(document.outputFile) + ")");
    documentLength = document.length;
    return outcome(Operation::StartDocPrinter);
}

SpoolerResult PlatformDouble::writePrinter(Handle printer, const void *data, uint32_t size) {
    record("writePrinter(" + role(printer) + "|" + std::to_string(size) + ")");
    SpoolerResult result = outcome(Operation::WritePrinter);
    if (result) written.append(static_cast<const char *>(data), size);
    return result;
}

SpoolerResult PlatformDouble::endDocPrinter(Handle printer) {
    record("endDocPrinter(" + role(printer) + ")");
    return outcome(Operation::EndDocPrinter);
}

void PlatformDouble::closePrinter(Handle printer) { record("closePrinter(" + role(printer) + ")"); }

void *PlatformDouble::allocate(std::size_t size) {
    record("allocate(" + std::to_string(size) + ")");
    if (const auto code = faults.next(Operation::Allocate)) {
        errno = static_cast<int>(*code);
        return nullptr;
    }
    return std::malloc(size);
}

void PlatformDouble::release(void *block) {
    record("release(buffer)");
    std::free(block);
}

std::FILE *PlatformDouble::openFile(const char *path, const char *mode) {
    std::FILE *file = nullptr;
    if (const auto code = faults.next(Operation::OpenFile))
        errno = static_cast<int>(*code);
    else
        file = std::fopen(path, mode);
    record("open(" + text(mode) + (file ? ")" : ") failed"));
    return file;
}

void PlatformDouble::closeFile(std::FILE *file) {
    record("close(file)");
    std::fclose(file);
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
    if (faults.next(Operation::PrintDialog)) return 0;
    choice = dialogChoice;
    return dialogResult;
}

PrinterNames PlatformDouble::defaultPrinter() {
    record("defaultPrinter()");
    return defaultNames;
}

bool PlatformDouble::pathExists(const char *path) {
    record("pathExists(" + text(path) + ")");
    const bool failed = faults.next(Operation::PathExists).has_value();
    return !failed && path && existingPaths.count(path);
}

int PlatformDouble::createProcess(const char *application, const char *commandLine,
                                  ProcessInfo &info) {
    record("createProcess(" + text(application) + "|" + text(commandLine) + ")");
    if (const auto code = faults.next(Operation::CreateProcess)) return static_cast<int>(*code);
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
    return !faults.next(Operation::SetLocalTime);
}

// ---- FailingPlatform ----------------------------------------------------

namespace {
// ERROR_INVALID_FUNCTION: what every failed call reports.
constexpr uint32_t kFailure = 1;
}  // namespace

SpoolerResult FailingPlatform::openPrinter(const char *, Handle *printer) {
    unexpected("openPrinter");
    *printer = nullptr;
    return SpoolerResult::failure(kFailure, "");
}
SpoolerResult FailingPlatform::startDocPrinter(Handle, const Document &) {
    unexpected("startDocPrinter");
    return SpoolerResult::failure(kFailure, "");
}
SpoolerResult FailingPlatform::writePrinter(Handle, const void *, uint32_t) {
    unexpected("writePrinter");
    return SpoolerResult::failure(kFailure, "");
}
SpoolerResult FailingPlatform::endDocPrinter(Handle) {
    unexpected("endDocPrinter");
    return SpoolerResult::failure(kFailure, "");
}
void FailingPlatform::closePrinter(Handle) { unexpected("closePrinter"); }
void *FailingPlatform::allocate(std::size_t) {
    unexpected("allocate");
    return nullptr;
}
void FailingPlatform::release(void *block) {
    unexpected("release");
    std::free(block);
}
std::FILE *FailingPlatform::openFile(const char *, const char *) {
    unexpected("openFile");
    return nullptr;
}
void FailingPlatform::closeFile(std::FILE *file) {
    unexpected("closeFile");
    if (file) std::fclose(file);
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

namespace {
std::optional<SpoolerResult> planned(Faults &faults, Operation operation) {
    if (const auto code = faults.next(operation)) return SpoolerResult::failure(*code, "");
    return std::nullopt;
}
}  // namespace

SpoolerResult ForwardingPlatform::openPrinter(const char *name, Handle *printer) {
    if (auto failure = planned(faults, Operation::OpenPrinter)) return *failure;
    return to_.openPrinter(name, printer);
}
SpoolerResult ForwardingPlatform::startDocPrinter(Handle printer, const Document &document) {
    if (auto failure = planned(faults, Operation::StartDocPrinter)) return *failure;
    return to_.startDocPrinter(printer, document);
}
SpoolerResult ForwardingPlatform::writePrinter(Handle printer, const void *data, uint32_t size) {
    if (auto failure = planned(faults, Operation::WritePrinter)) return *failure;
    return to_.writePrinter(printer, data, size);
}
SpoolerResult ForwardingPlatform::endDocPrinter(Handle printer) {
    if (auto failure = planned(faults, Operation::EndDocPrinter)) return *failure;
    return to_.endDocPrinter(printer);
}
void ForwardingPlatform::closePrinter(Handle printer) { to_.closePrinter(printer); }
void *ForwardingPlatform::allocate(std::size_t size) {
    if (const auto code = faults.next(Operation::Allocate)) {
        errno = static_cast<int>(*code);
        return nullptr;
    }
    return to_.allocate(size);
}
void ForwardingPlatform::release(void *block) { to_.release(block); }
std::FILE *ForwardingPlatform::openFile(const char *path, const char *mode) {
    if (const auto code = faults.next(Operation::OpenFile)) {
        errno = static_cast<int>(*code);
        return nullptr;
    }
    return to_.openFile(path, mode);
}
void ForwardingPlatform::closeFile(std::FILE *file) { to_.closeFile(file); }
void ForwardingPlatform::messageBox(const char *text, const char *caption) {
    to_.messageBox(text, caption);
}
Handle ForwardingPlatform::setWaitCursor() { return to_.setWaitCursor(); }
void ForwardingPlatform::setCursor(Handle cursor) { to_.setCursor(cursor); }
int32_t ForwardingPlatform::printDialog(const PrintDialogRequest &request,
                                        PrintDialogChoice &choice) {
    if (faults.next(Operation::PrintDialog)) return 0;
    return to_.printDialog(request, choice);
}
PrinterNames ForwardingPlatform::defaultPrinter() { return to_.defaultPrinter(); }
bool ForwardingPlatform::pathExists(const char *path) {
    return !faults.next(Operation::PathExists) && to_.pathExists(path);
}
int ForwardingPlatform::createProcess(const char *application, const char *commandLine,
                                      ProcessInfo &info) {
    if (const auto code = faults.next(Operation::CreateProcess)) return static_cast<int>(*code);
    return to_.createProcess(application, commandLine, info);
}
void ForwardingPlatform::waitForExit(Handle process) { to_.waitForExit(process); }
uint32_t ForwardingPlatform::exitCode(Handle process) { return to_.exitCode(process); }
void ForwardingPlatform::closeHandle(Handle handle) { to_.closeHandle(handle); }
void ForwardingPlatform::getLocalTime(SystemTime &time) { to_.getLocalTime(time); }
bool ForwardingPlatform::setLocalTime(const SystemTime &time) {
    return !faults.next(Operation::SetLocalTime) && to_.setLocalTime(time);
}

}  // namespace test
