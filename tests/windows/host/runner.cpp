#include "runner.h"

namespace test {

Exports api;
int passed = 0;
int failed = 0;

namespace {

template <typename F>
bool resolve(Case &c, HMODULE module, const char *name, F &slot) {
    FARPROC p = GetProcAddress(module, name);
    c.expect(p != nullptr, "GetProcAddress(%s) failed", name);
    slot = reinterpret_cast<F>(reinterpret_cast<void *>(p));
    return p != nullptr;
}

}  // namespace

bool loadLibraries() {
    Case c("load both DLLs and resolve every export by name");
    HMODULE textfind = LoadLibraryA("textfind.dll");
    HMODULE hostutil = LoadLibraryA("hostutil.dll");
    if (!c.expect(textfind && hostutil, "LoadLibraryA failed: %lu", GetLastError())) return false;
    bool ok = true;
#define RESOLVE(library, name, count) ok &= resolve(c, library, #name, api.name);
    HOSTLIBS_EXPORTS(RESOLVE)
#undef RESOLVE
    // Only the interface is exported: no decorated or internal names.
    c.expect(!GetProcAddress(textfind, "ScanDB@12") && !GetProcAddress(textfind, "_ScanDB@12"),
             "textfind exports a decorated name");
    c.expect(!GetProcAddress(hostutil, "RunPrg@24") && !GetProcAddress(hostutil, "_RunPrg@24"),
             "hostutil exports a decorated name");
    return ok;
}

bool writeFile(const std::string &path, const std::string &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool readFile(const std::string &path, std::string &bytes) {
    bytes.clear();
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return true;
}

std::string binaryPattern(size_t size, unsigned seed) {
    std::string s(size, '\0');
    unsigned x = seed;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(i < 256 ? i : (x >> 16) & 0xFF);
    }
    if (size > 300) s.replace(260, 5, "\r\n\x1a\n\r");
    return s;
}

}  // namespace test
