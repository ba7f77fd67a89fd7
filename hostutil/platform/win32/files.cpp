#include <windows.h>

#include <fcntl.h>
#include <io.h>

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

namespace {

// Whether `path` names something other than a file on a disk (a device such
// as NUL or LPT1, a pipe): such a destination is written directly.
bool namesNoDiskFile(const char *path) {
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type != FILE_TYPE_DISK;
}

}  // namespace

ReplacementFile::ReplacementFile(const char *destination) : target_(destination) {
    if (namesNoDiskFile(destination)) {
        stream_ = std::fopen(destination, "wb");
        return;
    }
    const std::size_t slash = target_.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        temporary_ = folder + "\\~" + name + "." + std::to_string(GetCurrentProcessId()) + "." +
                     std::to_string(GetTickCount() + attempt) + ".tmp";
        handle = CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        temporary_.clear();
        return;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    stream_ = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (!stream_) {
        if (fd < 0)
            CloseHandle(handle);
        else
            _close(fd);
        DeleteFileA(temporary_.c_str());
        temporary_.clear();
    }
}

ReplacementFile::~ReplacementFile() {
    if (stream_) std::fclose(stream_);
    if (!committed_ && !temporary_.empty()) DeleteFileA(temporary_.c_str());
}

bool ReplacementFile::commit() {
    if (!stream_) return false;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!closed) return false;
    if (temporary_.empty()) return committed_ = true;
    // ReplaceFile keeps the old file's attributes and security; a file that
    // another process holds open without sharing its deletion cannot be
    // replaced, and stays as it is.
    const DWORD attributes = GetFileAttributesA(target_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // Given to the new file first as well, for implementations of
        // ReplaceFile that do not carry them over.
        SetFileAttributesA(
            temporary_.c_str(),
            attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
        // Whole paths: some implementations take a relative one's folder wrongly.
        char replaced[MAX_PATH], replacement[MAX_PATH];
        if (!GetFullPathNameA(target_.c_str(), MAX_PATH, replaced, nullptr) ||
            !GetFullPathNameA(temporary_.c_str(), MAX_PATH, replacement, nullptr))
            return false;
        if (!ReplaceFileA(replaced, replacement, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                          nullptr))
            return false;
    } else if (!MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return false;
    }
    return committed_ = true;
}

}  // namespace hostutil::platform
