// PrintFile through the spooler to a file-port printer.
#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <string>
#include <vector>

#include "runner.h"
#include "test_list.h"
#include "watcher.h"

namespace test {

namespace {

// The spooler may write the job out after PrintFile has returned: wait until
// its queue holds no job. The outer time limit of the run ends a job that
// never finishes.
bool waitForEmptyQueue(const std::string &printer) {
    HANDLE handle = nullptr;
    if (!OpenPrinterA(const_cast<char *>(printer.c_str()), &handle, nullptr)) return false;
    for (;;) {
        DWORD needed = 0, jobs = 0;
        EnumJobsA(handle, 0, 16, 1, nullptr, 0, &needed, &jobs);
        if (needed == 0) break;
        std::vector<BYTE> info(needed);
        if (EnumJobsA(handle, 0, 16, 1, info.data(), needed, &needed, &jobs) && jobs == 0) break;
        Sleep(25);
    }
    ClosePrinter(handle);
    return true;
}

}  // namespace

void printFileCases(const Setting &setting) {
    const std::string &printer = setting.printer;
    const std::string &port = setting.port;
    {
        Case c("PrintFile sends the file unchanged through the spooler");
        std::string data = binaryPattern(3 * 4096 + 17, 7);
        writeFile("print.bin", data);
        DeleteFileA(port.c_str());
        takeMessages();
        c.expectInt(api.PrintFile(printer.c_str(), nullptr, "print.bin"), 1, "PrintFile");
        std::string landed;
        c.expect(waitForEmptyQueue(printer), "cannot open printer %s", printer.c_str());
        readFile(port, landed);
        c.expect(landed == data, "port file differs: %lu bytes, expected %lu",
                 static_cast<unsigned long>(landed.size()),
                 static_cast<unsigned long>(data.size()));
        c.expectInt(static_cast<long>(takeMessages().size()), 0, "message boxes");
    }
    {
        Case c("PrintFile with an output file: the spooler writes the job there");
        std::string data = binaryPattern(4097, 3);
        writeFile("print2.bin", data);
        DeleteFileA("job.prn");
        takeMessages();
        char full[MAX_PATH];
        GetFullPathNameA("job.prn", sizeof full, full, nullptr);
        c.expectInt(api.PrintFile(printer.c_str(), full, "print2.bin"), 1, "PrintFile");
        std::string landed;
        c.expect(waitForEmptyQueue(printer), "cannot open printer %s", printer.c_str());
        readFile(full, landed);
        c.expect(landed == data, "job file differs: %lu bytes, expected %lu",
                 static_cast<unsigned long>(landed.size()),
                 static_cast<unsigned long>(data.size()));
        c.expectInt(static_cast<long>(takeMessages().size()), 0, "message boxes");
    }
    {
        Case c("PrintFile to an unknown printer shows two boxes and gives 0");
        writeFile("small.bin", "abc");
        takeMessages();
        c.expectInt(api.PrintFile("No Such Printer", nullptr, "small.bin"), 0, "PrintFile");
        auto boxes = takeMessages();
        if (c.expectInt(static_cast<long>(boxes.size()), 2, "message boxes")) {
            c.expectText(boxes[0], "OpenPrinter per 'No Such Printer' fallita: 1801", "first box");
            char system[128] = "";
            FormatMessageA(0x1200, nullptr, 1801, 0, system, sizeof system, nullptr);
            c.expect(!boxes[1].empty(), "second box is empty");
            c.expectText(boxes[1], system, "second box");
        }
    }
    {
        Case c("PrintFile with a missing file shows one box and gives 0");
        takeMessages();
        c.expectInt(api.PrintFile(printer.c_str(), nullptr, "missing.bin"), 0, "PrintFile");
        auto boxes = takeMessages();
        if (c.expectInt(static_cast<long>(boxes.size()), 1, "message boxes"))
            c.expectText(boxes[0], "Non posso aprire il 'missing.bin' per leggerlo.", "box");
    }
}

}  // namespace test
