// The DLLs' version resources, read as Windows shows them in a file's
// properties: the fixed version and the Italian string table agree.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "runner.h"
#include "test_list.h"

namespace test {

void versionInfoCases(const Setting &) {
    for (const char *dll : {"textfind.dll", "hostutil.dll"}) {
        const std::string name = std::string("version resource of ") + dll;
        Case c(name.c_str());
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(dll, &ignored);
        if (!c.expect(size > 0, "GetFileVersionInfoSizeA: %lu", GetLastError())) continue;
        std::vector<char> info(size);
        if (!c.expect(GetFileVersionInfoA(dll, 0, size, info.data()) != 0,
                      "GetFileVersionInfoA: %lu", GetLastError()))
            continue;
        VS_FIXEDFILEINFO *fixed = nullptr;
        UINT length = 0;
        if (!c.expect(
                VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length) &&
                    length >= sizeof *fixed && fixed->dwSignature == 0xFEEF04BD,
                "no fixed version"))
            continue;
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, "%lu.%lu.%lu",
                      static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                      static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                      static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)));
        for (const char *key : {"FileVersion", "ProductVersion"}) {
            const std::string path = std::string("\\StringFileInfo\\041004B0\\") + key;
            char *text = nullptr;
            UINT textLength = 0;
            c.expect(VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void **>(&text),
                                    &textLength) &&
                         std::string(text) == numbers,
                     "%s: \"%s\", the fixed version is %s", key, text ? text : "(none)", numbers);
        }
        char *description = nullptr;
        UINT descriptionLength = 0;
        c.expect(VerQueryValueA(info.data(), "\\StringFileInfo\\041004B0\\FileDescription",
                                reinterpret_cast<void **>(&description), &descriptionLength) &&
                     descriptionLength > 1,
                 "no Italian FileDescription");
    }
}

}  // namespace test
