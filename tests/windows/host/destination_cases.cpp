#include "destination_cases.h"

#include <windows.h>

namespace test {

namespace {

struct FileFacts {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    DWORD links = 0;
    std::string content;
};

FileFacts factsOf(const char *path) {
    FileFacts facts;
    facts.attributes = GetFileAttributesA(path);
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info))
        facts.links = info.nNumberOfLinks;
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    readFile(path, facts.content);
    return facts;
}

// Another holder of the destination, with the sharing it grants.
struct Held {
    explicit Held(const char *path, DWORD sharing)
        : handle(CreateFileA(path, GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~Held() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    HANDLE handle;
};

}  // namespace

std::string binaryText(size_t size) {
    std::string text(size, 0);
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7) % 26);
    return text;
}

void destinationCases(const char *exportName, const DestinationWrite &write, long done,
                      long refused) {
    const std::string earlier = "the earlier content\r\n";
    const std::string content = binaryText(9000);
    std::string name = std::string(exportName) + ": a read-only file is refused and kept";
    {
        Case c(name.c_str());
        writeFile("dest-ro.out", earlier);
        SetFileAttributesA("dest-ro.out", FILE_ATTRIBUTE_READONLY);
        c.expectInt(write("dest-ro.out", content), refused, "result");
        const FileFacts after = factsOf("dest-ro.out");
        c.expectText(after.content, earlier, "content");
        c.expect(after.attributes & FILE_ATTRIBUTE_READONLY, "the read-only attribute is gone");
        SetFileAttributesA("dest-ro.out", FILE_ATTRIBUTE_NORMAL);
    }
    name = std::string(exportName) + ": a hidden file with a second hard link is written in place";
    {
        Case c(name.c_str());
        DeleteFileA("dest-link2.out");
        writeFile("dest-link.out", earlier);
        SetFileAttributesA("dest-link.out", FILE_ATTRIBUTE_HIDDEN);
        c.expect(CreateHardLinkA("dest-link2.out", "dest-link.out", nullptr),
                 "CreateHardLinkA failed: %lu", GetLastError());
        c.expectInt(write("dest-link.out", content), done, "result");
        const FileFacts first = factsOf("dest-link.out"), second = factsOf("dest-link2.out");
        c.expect(first.content == content, "the first name holds %lu bytes",
                 static_cast<unsigned long>(first.content.size()));
        c.expect(second.content == content, "the second name holds %lu bytes",
                 static_cast<unsigned long>(second.content.size()));
        c.expectInt(first.links, 2, "links");
        c.expect(first.attributes & FILE_ATTRIBUTE_HIDDEN, "the hidden attribute is gone");
    }
    name = std::string(exportName) + ": a file held open is written only as its sharing allows";
    {
        Case c(name.c_str());
        writeFile("dest-held.out", earlier);
        {
            Held reader("dest-held.out", FILE_SHARE_READ | FILE_SHARE_WRITE);
            c.expect(reader.handle != INVALID_HANDLE_VALUE, "cannot hold the file open");
            c.expectInt(write("dest-held.out", content), done, "held, writers allowed");
        }
        c.expect(factsOf("dest-held.out").content == content, "the shared file was not written");
        writeFile("dest-held.out", earlier);
        {
            Held reader("dest-held.out", FILE_SHARE_READ);
            c.expectInt(write("dest-held.out", content), refused, "held, no writers allowed");
        }
        c.expectText(factsOf("dest-held.out").content, earlier, "the held file");
    }
    name = std::string(exportName) + ": new files, missing folders and devices";
    {
        Case c(name.c_str());
        DeleteFileA("dest-new.out");
        c.expectInt(write("dest-new.out", content), done, "a new file");
        c.expect(factsOf("dest-new.out").content == content, "the new file");
        c.expectInt(write("no\\such\\folder\\dest.out", content), refused, "a missing folder");
        c.expectInt(write("NUL", content), done, "the NUL device");
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA("~dest*", &found);
        c.expect(search == INVALID_HANDLE_VALUE, "a temporary file was left behind");
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
    }
}

}  // namespace test
