#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace hostutil::platform {

namespace {

std::optional<FileIdentity> identityOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
    FileIdentity identity;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return identity;
}

}  // namespace

const char kCurrentFolderPrefix[] = ".\\";

std::optional<FileIdentity> identityOfOpenFile(std::FILE *file) {
    return identityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

std::optional<FileIdentity> identityOfPath(const char *path) {
    // No access rights asked and full sharing: only the identity is read.
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<FileIdentity> identity = identityOfHandle(handle);
    CloseHandle(handle);
    return identity;
}

int seekFile(std::FILE *file, long long offset, int whence) {
    return _fseeki64(file, offset, whence);
}

long long tellFile(std::FILE *file) { return _ftelli64(file); }

std::optional<uint64_t> lengthOfOpenFile(std::FILE *file) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    LARGE_INTEGER size;
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileSizeEx(handle, &size) || size.QuadPart < 0)
        return std::nullopt;
    return static_cast<uint64_t>(size.QuadPart);
}

namespace {

HANDLE fileHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool moveTo(HANDLE handle, uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) != 0;
}

// Sets the end of the file at `length`; the file pointer goes there too.
bool cutAt(HANDLE handle, uint64_t length) {
    return moveTo(handle, length) && SetEndOfFile(handle) != 0;
}

}  // namespace

DestinationFile::DestinationFile(const char *path) : path_(path ? path : "") {
    if (!path) return;
    // The sharing of the C runtime's fopen: another process that holds the
    // file open decides, by its own sharing, whether we may write.
    const HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    created_ = GetLastError() != ERROR_ALREADY_EXISTS;
    regular_ = GetFileType(handle) == FILE_TYPE_DISK;
    // Windows refuses to write a read-only file to everyone; an emulation
    // running with more rights than Windows gives must refuse it too.
    BY_HANDLE_FILE_INFORMATION info;
    if (regular_ && GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
        CloseHandle(handle);
        SetLastError(ERROR_ACCESS_DENIED);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    LARGE_INTEGER size;
    if (regular_ && GetFileSizeEx(handle, &size) && size.QuadPart > 0)
        earlierLength_ = static_cast<uint64_t>(size.QuadPart);
}

DestinationFile::~DestinationFile() { undo(); }

std::optional<FileIdentity> DestinationFile::identity() const {
    if (!isOpen()) return std::nullopt;
    return identityOfHandle(fileHandle(handle_));
}

bool DestinationFile::reserve(uint64_t length) {
    if (!isOpen() || failed_) return false;
    // An allocation below the end would cut the file: only growth reserves.
    if (!regular_ || length <= reserved_ || length <= earlierLength_) return true;
    FILE_ALLOCATION_INFO allocation;
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
    if (SetFileInformationByHandle(fileHandle(handle_), FileAllocationInfo, &allocation,
                                   sizeof allocation)) {
        reserved_ = length;
        return true;
    }
    const DWORD error = GetLastError();
    // File systems that keep no allocation are written as a plain open would.
    if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
        error == ERROR_INVALID_PARAMETER || error == ERROR_CALL_NOT_IMPLEMENTED)
        return true;
    SetLastError(error);
    return false;
}

bool DestinationFile::write(const void *data, std::size_t size) {
    if (!isOpen() || failed_) return false;
    const auto *bytes = static_cast<const unsigned char *>(data);
    while (size > 0) {
        const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(fileHandle(handle_), bytes, piece, &done, nullptr) || done == 0) {
            failed_ = true;
            return false;
        }
        bytes += done;
        size -= done;
        written_ += done;
    }
    return true;
}

bool DestinationFile::finish() {
    if (!isOpen() || failed_) return false;
    const HANDLE handle = fileHandle(handle_);
    if (regular_ && !cutAt(handle, written_)) {
        failed_ = true;
        return false;
    }
    handle_ = kNoHandle;
    if (CloseHandle(handle)) return true;
    if (created_) DeleteFileA(path_.c_str());
    return false;
}

void DestinationFile::undo() {
    if (!isOpen()) return;
    const HANDLE handle = fileHandle(handle_);
    handle_ = kNoHandle;
    if (created_) {
        CloseHandle(handle);
        DeleteFileA(path_.c_str());
        return;
    }
    // An empty file is empty again; otherwise the new content stops where
    // the writing did. An allocation not used is given back.
    if (regular_ && written_ > 0)
        cutAt(handle, earlierLength_ == 0 ? 0 : written_);
    else if (regular_ && reserved_ > 0)
        cutAt(handle, earlierLength_);
    CloseHandle(handle);
}

}  // namespace hostutil::platform
