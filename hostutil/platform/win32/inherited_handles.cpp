#include "inherited_handles.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

#include <cstring>

namespace hostutil::platform::win32 {

namespace {

// The runtime's per-descriptor flags, as its spawn functions hand them to a
// child through STARTUPINFO's reserved fields.
constexpr unsigned char kOpen = 0x01;
constexpr unsigned char kPipe = 0x08;
constexpr unsigned char kDevice = 0x40;
constexpr unsigned char kText = 0x80;
// The runtime never has more descriptors than this.
constexpr int kMaxDescriptors = 2048;

void ignoreInvalidParameter(const wchar_t *, const wchar_t *, const wchar_t *, unsigned,
                            uintptr_t) {}

}  // namespace

std::vector<unsigned char> inheritedHandleTable() {
    _invalid_parameter_handler previous = _set_invalid_parameter_handler(ignoreInvalidParameter);
    std::vector<unsigned char> flags;
    std::vector<HANDLE> handles;
    int count = 0;
    for (int fd = 0; fd < kMaxDescriptors; ++fd) {
        intptr_t osHandle = _get_osfhandle(fd);
        HANDLE handle = reinterpret_cast<HANDLE>(osHandle);
        unsigned char f = 0;
        DWORD info = 0;
        if (osHandle != -1 && osHandle != -2 && handle != nullptr &&
            (!GetHandleInformation(handle, &info) || (info & HANDLE_FLAG_INHERIT))) {
            f = kOpen;
            switch (GetFileType(handle) & ~FILE_TYPE_REMOTE) {
            case FILE_TYPE_CHAR: f |= kDevice; break;
            case FILE_TYPE_PIPE: f |= kPipe; break;
            default: break;
            }
            int mode = _setmode(fd, _O_BINARY);
            if (mode != -1) {
                if (mode & _O_TEXT) f |= kText;
                _setmode(fd, mode);
            }
            count = fd + 1;
        } else {
            handle = INVALID_HANDLE_VALUE;
        }
        flags.push_back(f);
        handles.push_back(handle);
    }
    _set_invalid_parameter_handler(previous);
    if (count < 3) count = 3;

    std::vector<unsigned char> block(sizeof(int) + count * (1 + sizeof(HANDLE)));
    std::memcpy(block.data(), &count, sizeof(int));
    std::memcpy(block.data() + sizeof(int), flags.data(), count);
    std::memcpy(block.data() + sizeof(int) + count, handles.data(), count * sizeof(HANDLE));
    return block;
}

}  // namespace hostutil::platform::win32
