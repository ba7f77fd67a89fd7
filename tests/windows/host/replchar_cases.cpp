// ReplChar with the text rules of the Windows runtime.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "destination_cases.h"
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

}  // namespace

void replcharCases(const Setting &) {
    textRuleCases();
    destinationCases(
        "ReplChar",
        [](const char *destination, const std::string &content) {
            writeFile("dest-source.txt", content);
            return static_cast<long>(api.ReplChar("dest-source.txt", destination, '#', '#'));
        },
        1, 0);
}

}  // namespace test
