// ReplChar with the text rules of the Windows runtime.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "runner.h"
#include "test_list.h"
#include "watcher.h"

namespace test {

namespace {

void textRuleCases() {
    Case c("ReplChar copies as text with one byte replaced");
    std::string out;
    writeFile("r1.txt", "a;b;z");
    c.expectInt(api.ReplChar("r1.txt", "r1.out", 0x13B, ','), 1, "ReplChar");
    readFile("r1.out", out);
    c.expectText(out, "a,b,z", "semicolons");
    writeFile("r2.txt", "x\r\ny\nz\r");
    c.expectInt(api.ReplChar("r2.txt", "r2.out", '#', '#'), 1, "ReplChar");
    readFile("r2.out", out);
    c.expectText(out, "x\r\ny\r\nz\r", "line ends");
    writeFile("r3.txt", "x\r\ny");
    api.ReplChar("r3.txt", "r3.out", '\n', ' ');
    readFile("r3.out", out);
    c.expectText(out, "x y", "line end replaced");
    writeFile("r4.txt", "ab\x1ayz");
    api.ReplChar("r4.txt", "r4.out", ';', ',');
    readFile("r4.out", out);
    c.expectText(out, "ab", "0x1A ends the input");
    writeFile("r5.txt", "a\xff;b");
    api.ReplChar("r5.txt", "r5.out", -1, ';');
    readFile("r5.out", out);
    c.expectText(out, "a;;b", "from-byte -1 is 0xFF");
    c.expectInt(api.ReplChar("missing.txt", "r6.out", ';', ','), 0, "missing source");
    c.expectInt(api.ReplChar("r1.txt", "no\\such\\folder\\r.out", ';', ','), 0,
                "destination folder missing");
}

// The copy replaces the destination only once complete, keeping its
// attributes; one that another process holds open without sharing its
// deletion cannot be replaced, and stays as it was.
void replacementCases() {
    Case c("ReplChar replaces an earlier destination whole, or leaves it as it was");
    std::string out;
    writeFile("r1.txt", "a;b;z");
    writeFile("r7.out", "earlier content");
    SetFileAttributesA("r7.out", FILE_ATTRIBUTE_HIDDEN);
    c.expectInt(api.ReplChar("r1.txt", "r7.out", ';', ','), 1, "ReplChar over a file");
    readFile("r7.out", out);
    c.expectText(out, "a,b,z", "replaced content");
    c.expect((GetFileAttributesA("r7.out") & FILE_ATTRIBUTE_HIDDEN) != 0,
             "the replaced file lost its attributes");
    HANDLE held = CreateFileA("r7.out", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    c.expect(held != INVALID_HANDLE_VALUE, "cannot hold r7.out open");
    writeFile("r8.txt", "x;y");
    c.expectInt(api.ReplChar("r8.txt", "r7.out", ';', ','), 0, "ReplChar over a held file");
    CloseHandle(held);
    readFile("r7.out", out);
    c.expectText(out, "a,b,z", "the held file");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("~r7.out.*", &found);
    c.expect(search == INVALID_HANDLE_VALUE, "a temporary file was left behind");
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

}  // namespace

void replcharCases(const Setting &) {
    textRuleCases();
    replacementCases();
}

}  // namespace test
