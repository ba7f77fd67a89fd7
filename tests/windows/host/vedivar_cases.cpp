// VEDIVAR on memory-variable files written here.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "runner.h"
#include "test_list.h"
#include "watcher.h"

namespace test {

namespace {

std::string memEntry(const std::string &name, unsigned char type, const std::string &value) {
    std::string e(32, '\0');
    e.replace(0, name.size(), name);
    e[11] = static_cast<char>(type);
    return e + value;
}

}  // namespace

void vedivarCases(const Setting &) {
    Case c("VEDIVAR reads character and logical variables");
    std::string file = memEntry("NOME", 0xC3, std::string("Mario\r\n\x1a", 8) + '\0') +
                       memEntry("FLAG", 0xCC, std::string(1, '\1')) +
                       memEntry("OFF", 0xCC, std::string(1, '\0')) +
                       memEntry("NUM", 0xCE, std::string(8, '\x40')) + "\x1a\x1a\x1a";
    c.expect(writeFile("vars.mem", file) && writeFile("empty.mem", ""), "cannot write files");
    char out[64];
    std::memset(out, '#', sizeof out);
    c.expectInt(api.VEDIVAR("vars.mem", "NOME", out), 1, "NOME");
    c.expect(std::memcmp(out, "Mario\r\n\x1a\0#", 10) == 0, "NOME value read with text rules");
    c.expectInt(api.VEDIVAR("vars.mem", "FLAG", out), 1, "FLAG");
    c.expectText(out, "T", "FLAG value");
    c.expectInt(api.VEDIVAR("vars.mem", "OFF", out), 1, "OFF");
    c.expectText(out, "F", "OFF value");
    std::strcpy(out, "kept");
    c.expectInt(api.VEDIVAR("vars.mem", "NUM", out), 1, "NUM");
    c.expectText(out, "kept", "other types leave the buffer");
    c.expectInt(api.VEDIVAR("vars.mem", "nome", out), -1, "lower case name");
    c.expectInt(api.VEDIVAR("missing.mem", "NOME", out), -2, "missing file");
    c.expectInt(api.VEDIVAR("empty.mem", "NOME", out), -3, "empty file");
}

}  // namespace test
