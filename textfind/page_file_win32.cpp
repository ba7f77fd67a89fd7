#include <windows.h>

#include "page_file.h"

namespace textfind {

namespace {
HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

PageFile::~PageFile() {
    if (owned_ && handle_ != kNone) CloseHandle(handleOf(handle_));
}

// Berkeley DB gives no descriptor here: the file is opened by name, shared
// as Berkeley DB shares it.
bool PageFile::open(int, const std::string &path) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    owned_ = true;
    return true;
}

bool PageFile::readAt(uint64_t offset, std::span<unsigned char> into) {
    if (handle_ == kNone) return false;
    for (std::size_t done = 0; done < into.size();) {
        OVERLAPPED at{};
        const uint64_t from = offset + done;
        at.Offset = static_cast<DWORD>(from);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        const std::size_t left = into.size() - done;
        const DWORD want = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!ReadFile(handleOf(handle_), into.data() + done, want, &got, &at) || got == 0)
            return false;
        done += got;
    }
    return true;
}

}  // namespace textfind
