// The store tools built for Windows, run on stores built on Linux: each case
// of store-tools/cases.txt (NAME, PROGRAM, ARGUMENTS..., tab-separated) must
// give the exit status, standard output and standard error that the Linux
// tools gave, which the run script left in store-tools/NAME.{status,out,err}.
#include <windows.h>

#include <string>
#include <vector>

#include "runner.h"
#include "test_list.h"

namespace test {

namespace {

struct ToolRun {
    bool ran = false;
    DWORD status = 0;
    std::string out, err;
};

std::vector<std::string> fields(const std::string &line) {
    std::vector<std::string> parts(1);
    for (char ch : line)
        if (ch == '\t')
            parts.emplace_back();
        else
            parts.back() += ch;
    return parts;
}

// Console programs write their line ends as CR LF.
std::string withLinuxLineEnds(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

// Standard error goes to a file, so that reading one pipe cannot stall the
// program on the other.
ToolRun runTool(const std::vector<std::string> &command) {
    ToolRun run;
    std::string line;
    for (std::size_t i = 1; i < command.size(); ++i)
        line += (line.empty() ? "\"" : " \"") + (i == 1 ? command[i] + ".exe" : command[i]) + "\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE reader = nullptr, writer = nullptr;
    if (!CreatePipe(&reader, &writer, &inherit, 0)) return run;
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    const char *errPath = "store-tools-stderr.txt";
    HANDLE err = CreateFileA(errPath, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer;
    startup.hStdError = err;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(writer);
    if (started) {
        char chunk[4096];
        DWORD n = 0;
        while (ReadFile(reader, chunk, sizeof chunk, &n, nullptr) && n > 0)
            run.out.append(chunk, n);
        WaitForSingleObject(process.hProcess, INFINITE);
        run.ran = GetExitCodeProcess(process.hProcess, &run.status) != 0;
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(reader);
    if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
    readFile(errPath, run.err);
    run.out = withLinuxLineEnds(run.out);
    run.err = withLinuxLineEnds(run.err);
    return run;
}

}  // namespace

void storeToolsCases(const Setting &) {
    std::string list;
    if (!readFile("store-tools/cases.txt", list)) {
        std::printf("skipped: the store tools: no Linux tools' outputs to compare with\n");
        return;
    }
    std::size_t start = 0;
    for (std::size_t end; (end = list.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::vector<std::string> command = fields(list.substr(start, end - start));
        if (command.size() < 2) continue;
        const std::string caseName = "store tools: " + command[0];
        Case c(caseName.c_str());
        const std::string expected = "store-tools/" + command[0];
        std::string status, out, err;
        if (!c.expect(readFile(expected + ".status", status) && readFile(expected + ".out", out) &&
                          readFile(expected + ".err", err),
                      "the Linux outputs of %s are missing", command[0].c_str()))
            continue;
        const ToolRun run = runTool(command);
        if (!c.expect(run.ran, "%s.exe did not run", command[1].c_str())) continue;
        c.expectInt(static_cast<long>(run.status), std::stol(status), "exit status");
        c.expectText(run.out, out, "standard output");
        c.expectText(run.err, err, "standard error");
    }
}

}  // namespace test
