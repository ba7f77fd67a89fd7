// RunPrg starting child.exe, batch files and things that are no program.
#include <windows.h>

#include <errno.h>

#include <cstring>
#include <string>
#include <vector>

#include "runner.h"
#include "test_list.h"
#include "watcher.h"

namespace test {

namespace {

std::vector<std::string> childRun() {
    std::string s;
    std::vector<std::string> lines;
    if (!readFile("child-run.txt", s)) return lines;
    size_t start = 0;
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] == '\n') {
            lines.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    return lines;
}

}  // namespace

void runProgramCases(const Setting &) {
    {
        Case c("RunPrg starts the child with the joined command line and waits");
        DeleteFileA("child-run.txt");
        c.expectInt(api.RunPrg("child", "child", "sleep", "400", "", "end"), 0, "RunPrg");
        auto lines = childRun();
        c.expect(lines.size() == 2, "the child had not finished when RunPrg returned");
        if (lines.size() == 2) {
            c.expectText(lines[0], "child sleep 400  end", "command line");
            c.expectText(lines[1], "child.exe", "program");
        }
        DeleteFileA("child-run.txt");
        c.expectInt(api.RunPrg("child.exe", "named", nullptr, "ignored", nullptr, nullptr), 0,
                    "RunPrg with extension");
        lines = childRun();
        c.expect(lines.size() == 2 && lines[0] == "named", "command line after a null word");
        DeleteFileA("child-run.txt");
        c.expectInt(api.RunPrg("child", "", "a", "b", nullptr, nullptr), 0, "empty first word");
        lines = childRun();
        // Wine shows an empty command line as the quoted program path.
        c.expect(lines.size() == 2 && (lines[0].empty() || lines[0] == "\".\\child.exe\""),
                 "command line not empty: \"%s\"", lines.empty() ? "(no run)" : lines[0].c_str());
    }
    {
        Case c("RunPrg tries .com .exe .bat .cmd in the current folder only");
        CopyFileA("child.exe", "prog.exe", FALSE);
        writeFile("prog.bat", "@exit 0\r\n");
        DeleteFileA("child-run.txt");
        c.expectInt(api.RunPrg("prog", "prog", "a", nullptr, nullptr, nullptr), 0, "RunPrg");
        auto lines = childRun();
        c.expect(lines.size() == 2 && lines[0] == "prog a" && lines[1] == "prog.exe",
                 "prog.exe not started as \"prog a\"");
        writeFile("script.bat", "@echo off\r\necho bat> bat-ran.txt\r\n");
        DeleteFileA("bat-ran.txt");
        c.expectInt(api.RunPrg("script", "script", nullptr, nullptr, nullptr, nullptr), 0,
                    "RunPrg of a batch file");
        std::string bat;
        c.expect(readFile("bat-ran.txt", bat) && bat.rfind("bat", 0) == 0,
                 "the batch file did not run: \"%s\"", bat.c_str());
        c.expectInt(api.RunPrg("nosuchprog", "x", nullptr, nullptr, nullptr, nullptr), 2,
                    "missing program");
        c.expectInt(api.RunPrg("tool.exe", "tool", nullptr, nullptr, nullptr, nullptr), 2,
                    "missing program with extension");
        // On the search path but not here.
        c.expectInt(api.RunPrg("cmd", "cmd", "/c", "exit", nullptr, nullptr), 2,
                    "program only on the search path");
    }
    {
        Case c("RunPrg ignores the exit code");
        c.expectInt(api.RunPrg("child", "child", "exit", "3", nullptr, nullptr), 0, "exit 3");
        c.expectInt(api.RunPrg("child", "child", "exit", "-1", nullptr, nullptr), 0, "exit -1");
    }
    {
        Case c("RunPrg maps launch failures to errno values");
        writeFile("notprog.exe", "this is not a program\r\n");
        c.expectInt(api.RunPrg("notprog.exe", "notprog", nullptr, nullptr, nullptr, nullptr),
                    ENOEXEC, "not a program");
        // Windows refuses a directory with ERROR_ACCESS_DENIED, Wine with
        // ERROR_INVALID_HANDLE; either way the runtime's errno for it.
        CreateDirectoryA("folder.d", nullptr);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        char line[] = "folder";
        c.expect(!CreateProcessA("folder.d", line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process),
                 "a directory started");
        DWORD error = GetLastError();
        long expected = error == ERROR_ACCESS_DENIED    ? EACCES
                        : error == ERROR_INVALID_HANDLE ? EBADF
                                                        : -1;
        c.expect(expected != -1, "unexpected error %lu for a directory", error);
        c.expectInt(api.RunPrg("folder.d", "folder", nullptr, nullptr, nullptr, nullptr), expected,
                    "a directory");
    }
    {
        Case c("RunPrg hands the runtime's open files to the child");
        FILE *f = std::fopen("inherit.txt", "wb");
        if (c.expect(f != nullptr, "cannot create inherit.txt")) {
            int fd = _fileno(f);
            c.expect(fd > 2, "descriptor %d is a standard one", fd);
            std::string fdText = std::to_string(fd);
            c.expectInt(api.RunPrg("child", "child", "inherit", fdText.c_str(), nullptr, nullptr),
                        0, "RunPrg");
            std::fclose(f);
            std::string content;
            readFile("inherit.txt", content);
            c.expectText(content, "inherited", "written by the child through the descriptor");
        }
    }
}

}  // namespace test
