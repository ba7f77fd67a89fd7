#include <windows.h>

#include "isolated.h"

namespace tools {

Isolated runIsolated(const std::vector<std::string> &selfArguments,
                     const std::function<int(std::string &)> &) {
    Isolated result;
    char self[MAX_PATH];
    if (!GetModuleFileNameA(nullptr, self, sizeof self)) return result;
    std::string line = std::string("\"") + self + "\"";
    for (const std::string &argument : selfArguments) line += " \"" + argument + "\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE reader = nullptr, writer = nullptr;
    if (!CreatePipe(&reader, &writer, &inherit, 0)) return result;
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(self, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(writer);
    if (!started) {
        CloseHandle(reader);
        return result;
    }
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(reader, chunk, sizeof chunk, &n, nullptr) && n > 0)
        result.output.append(chunk, n);
    CloseHandle(reader);
    // The child's stdout is in text mode: its line ends come as CR LF.
    std::string::size_type at = 0;
    while ((at = result.output.find("\r\n", at)) != std::string::npos) result.output.erase(at, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    // An exception that ended the process shows as its NTSTATUS code.
    result.ended = code < 0x100;
    result.status = static_cast<int>(code);
    return result;
}

}  // namespace tools
