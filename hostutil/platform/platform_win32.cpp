// Windows backend: each operation is the Windows call named in platform.h.
#include "platform.h"

#include <windows.h>
#include <commdlg.h>
#include <winspool.h>

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "hostutil.h"

// Hosts lay these records out byte for byte; a change here breaks them.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(HostutilPrinterSetup) == 26, "printer setup record is 26 bytes");
static_assert(offsetof(HostutilPrinterSetup, copies) == 12);
static_assert(offsetof(HostutilPrinterSetup, fromPage) == 14);
static_assert(offsetof(HostutilPrinterSetup, toPage) == 16);
static_assert(offsetof(HostutilPrinterSetup, flags) == 18);
static_assert(offsetof(HostutilPrinterSetup, deviceContext) == 22);
static_assert(sizeof(PRINTDLGA) == 66, "PRINTDLGA is byte-packed on 32-bit Windows");
#else
static_assert(sizeof(HostutilPrinterSetup) == 42, "printer setup record is 42 bytes");
#endif
static_assert(sizeof(hostutil::platform::DevNames) == sizeof(DEVNAMES));
static_assert(sizeof(hostutil::platform::SystemTime) == sizeof(SYSTEMTIME));

namespace hostutil::platform {

namespace {

// The C runtime's mapping of a Windows error to errno (its _dosmaperr table),
// so RunPrg reports what a spawn through the runtime would have reported.
int errnoForWindowsError(uint32_t code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return ENOENT;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_ACCESS_DENIED:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_FAIL_I24:
    case ERROR_DRIVE_LOCKED:
    case ERROR_SEEK_ON_DEVICE:
    case ERROR_NOT_LOCKED:
    case ERROR_LOCK_FAILED: return EACCES;
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_TARGET_HANDLE:
    case ERROR_DIRECT_ACCESS_HANDLE: return EBADF;
    case ERROR_ARENA_TRASHED:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_INVALID_BLOCK:
    case ERROR_NOT_ENOUGH_QUOTA:
    // Missing from the runtime's table, but it is memory running out all
    // the same.
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_BAD_ENVIRONMENT: return E2BIG;
    case ERROR_BAD_FORMAT: return ENOEXEC;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_NO_PROC_SLOTS:
    case ERROR_MAX_THRDS_REACHED:
    case ERROR_NESTING_NOT_ALLOWED: return EAGAIN;
    case ERROR_BROKEN_PIPE: return EPIPE;
    case ERROR_DISK_FULL: return ENOSPC;
    case ERROR_WAIT_NO_CHILDREN:
    case ERROR_CHILD_NOT_COMPLETE: return ECHILD;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    default: break;
    }
    if (code >= ERROR_WRITE_PROTECT && code <= ERROR_SHARING_BUFFER_EXCEEDED) return EACCES;
    if (code >= ERROR_INVALID_STARTING_CODESEG && code <= ERROR_INFLOOP_IN_RELOC_CHAIN)
        return ENOEXEC;
    return EINVAL;
}

// The runtime's per-descriptor flags, as its spawn functions hand them to a
// child through STARTUPINFO's reserved fields.
constexpr unsigned char kOpen = 0x01;
constexpr unsigned char kPipe = 0x08;
constexpr unsigned char kDevice = 0x40;
constexpr unsigned char kText = 0x80;
// The runtime never has more descriptors than this.
constexpr int kMaxDescriptors = 2048;

void ignoreInvalidParameter(const wchar_t *, const wchar_t *, const wchar_t *, unsigned,
                            uintptr_t) {}

// Builds the block "descriptor count, one flags byte per descriptor, one
// HANDLE per descriptor" (unaligned) for descriptors 0 to the highest open
// one, so the child's runtime starts with the same open files. Descriptors
// whose handle is not inheritable are passed as closed, as the runtime does.
std::vector<unsigned char> inheritedHandleTable() {
    _invalid_parameter_handler previous = _set_invalid_parameter_handler(ignoreInvalidParameter);
    std::vector<unsigned char> flags;
    std::vector<HANDLE> handles;
    int count = 0;
    for (int fd = 0; fd < kMaxDescriptors; ++fd) {
        intptr_t osHandle = _get_osfhandle(fd);
        HANDLE handle = reinterpret_cast<HANDLE>(osHandle);
        unsigned char f = 0;
        DWORD info = 0;
        if (osHandle != -1 && osHandle != -2 && handle != nullptr &&
            (!GetHandleInformation(handle, &info) || (info & HANDLE_FLAG_INHERIT))) {
            f = kOpen;
            switch (GetFileType(handle) & ~FILE_TYPE_REMOTE) {
            case FILE_TYPE_CHAR: f |= kDevice; break;
            case FILE_TYPE_PIPE: f |= kPipe; break;
            default: break;
            }
            int mode = _setmode(fd, _O_BINARY);
            if (mode != -1) {
                if (mode & _O_TEXT) f |= kText;
                _setmode(fd, mode);
            }
            count = fd + 1;
        } else {
            handle = INVALID_HANDLE_VALUE;
        }
        flags.push_back(f);
        handles.push_back(handle);
    }
    _set_invalid_parameter_handler(previous);
    if (count < 3) count = 3;

    std::vector<unsigned char> block(sizeof(int) + count * (1 + sizeof(HANDLE)));
    std::memcpy(block.data(), &count, sizeof(int));
    std::memcpy(block.data() + sizeof(int), flags.data(), count);
    std::memcpy(block.data() + sizeof(int) + count, handles.data(), count * sizeof(HANDLE));
    return block;
}

class Win32 final : public Platform {
public:
    bool openPrinter(const char *name, Handle *printer) override {
        HANDLE h = nullptr;
        if (!OpenPrinterA(const_cast<char *>(name), &h, nullptr)) return false;
        *printer = h;
        return true;
    }

    bool startDocPrinter(Handle printer, const char *docName, const char *outputFile) override {
        DOC_INFO_1A info{};
        info.pDocName = const_cast<char *>(docName);
        info.pOutputFile = const_cast<char *>(outputFile);
        info.pDatatype = nullptr;
        return StartDocPrinterA(printer, 1, reinterpret_cast<BYTE *>(&info)) != 0;
    }

    bool writePrinter(Handle printer, const void *data, uint32_t size) override {
        DWORD written = 0;
        return WritePrinter(printer, const_cast<void *>(data), size, &written) != 0;
    }

    void endDocPrinter(Handle printer) override { EndDocPrinter(printer); }
    void closePrinter(Handle printer) override { ClosePrinter(printer); }
    uint32_t lastError() override { return GetLastError(); }

    uint32_t formatMessage(uint32_t code, char *buffer, uint32_t size) override {
        if (size == 0) return 0;
        buffer[0] = 0;
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, buffer, size, nullptr);
        if (n == 0) buffer[0] = 0;
        return n;
    }

    void messageBox(const char *text, const char *caption) override {
        MessageBoxA(nullptr, text, caption, MB_OK);
    }

    Handle setWaitCursor() override {
        return SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(0x7F02)));  // IDC_WAIT
    }

    void setCursor(Handle cursor) override { SetCursor(static_cast<HCURSOR>(cursor)); }

    int32_t printDialog(PrintDialogRecord &record) override {
        PRINTDLGA dialog;
        std::memset(&dialog, 0, sizeof dialog);
        dialog.lStructSize = sizeof dialog;
        dialog.Flags = record.flags;
        dialog.nFromPage = record.fromPage;
        dialog.nToPage = record.toPage;
        dialog.nMinPage = record.minPage;
        dialog.nMaxPage = record.maxPage;
        dialog.nCopies = record.copies;
        BOOL result = PrintDlgA(&dialog);
        record.devMode = dialog.hDevMode;
        record.devNames = dialog.hDevNames;
        record.deviceContext = dialog.hDC;
        record.fromPage = dialog.nFromPage;
        record.toPage = dialog.nToPage;
        record.copies = dialog.nCopies;
        return result;
    }

    void *globalLock(Handle block) override { return GlobalLock(block); }
    void globalUnlock(Handle block) override { GlobalUnlock(block); }
    void globalFree(Handle block) override { GlobalFree(block); }

    uint32_t getProfileString(const char *section, const char *key, const char *fallback,
                              char *buffer, uint32_t size) override {
        return GetProfileStringA(section, key, fallback, buffer, size);
    }

    bool pathExists(const char *path) override {
        return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    }

    int createProcess(const char *application, const char *commandLine,
                      ProcessInfo &info) override {
        std::vector<unsigned char> table;
        std::vector<char> line;
        try {
            table = inheritedHandleTable();
            line.assign(commandLine, commandLine + std::strlen(commandLine) + 1);
        } catch (...) {
            return ENOMEM;
        }
        STARTUPINFOA startup;
        std::memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        startup.cbReserved2 = static_cast<WORD>(table.size());
        startup.lpReserved2 = table.data();
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(application, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &process))
            return errnoForWindowsError(GetLastError());
        info.process = process.hProcess;
        info.thread = process.hThread;
        return 0;
    }

    void waitForExit(Handle process) override { WaitForSingleObject(process, INFINITE); }

    uint32_t exitCode(Handle process) override {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        return code;
    }

    void closeHandle(Handle handle) override { CloseHandle(handle); }

    void getLocalTime(SystemTime &time) override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        time = {t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
                t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
    }

    bool setLocalTime(const SystemTime &time) override {
        SYSTEMTIME t{time.year, time.month,  time.dayOfWeek, time.day,
                     time.hour, time.minute, time.second,    time.milliseconds};
        return SetLocalTime(&t) != 0;
    }
};

}  // namespace

Platform &native() {
    static Win32 backend;
    return backend;
}

}  // namespace hostutil::platform
