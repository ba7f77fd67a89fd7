#include "replchar.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "hostutil.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace hostutil {

namespace {
constexpr unsigned char kCarriageReturn = 0x0D;
constexpr unsigned char kLineFeed = 0x0A;
constexpr unsigned char kEndOfText = 0x1A;
constexpr std::size_t kBlockSize = 256 * 1024;

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool isDirectory = false;
    bool operator==(const FileIdentity &other) const {
        return volume == other.volume && index == other.index;
    }
};

#ifdef _WIN32
std::optional<FileIdentity> identityOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
    FileIdentity identity;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return identity;
}

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
#else
FileIdentity identityOfStat(const struct stat &info) {
    FileIdentity identity;
    identity.volume = static_cast<uint64_t>(info.st_dev);
    identity.index = static_cast<uint64_t>(info.st_ino);
    identity.isDirectory = S_ISDIR(info.st_mode);
    return identity;
}

std::optional<FileIdentity> identityOfOpenFile(std::FILE *file) {
    struct stat info;
    if (fstat(fileno(file), &info) != 0) return std::nullopt;
    return identityOfStat(info);
}

std::optional<FileIdentity> identityOfPath(const char *path) {
    struct stat info;
    if (stat(path, &info) != 0) return std::nullopt;
    return identityOfStat(info);
}
#endif
}  // namespace

TextByteReplacer::TextByteReplacer(uint8_t from, uint8_t to) {
    for (std::size_t b = 0; b < 256; ++b) {
        replaced_[b] = b == from ? to : static_cast<unsigned char>(b);
        special_[b] = b == kCarriageReturn || b == kEndOfText || replaced_[b] == kLineFeed;
    }
}

unsigned char *TextByteReplacer::emitDelivered(unsigned char *out,
                                               unsigned char delivered) const {
    const unsigned char written = replaced_[delivered];
    if (written == kLineFeed) *out++ = kCarriageReturn;
    *out++ = written;
    return out;
}

std::size_t TextByteReplacer::transform(std::span<const unsigned char> input,
                                        unsigned char *out) {
    unsigned char *cursor = out;
    const unsigned char *in = input.data();
    const std::size_t size = input.size();
    std::size_t i = 0;
    if (ended_ || size == 0) return 0;

    // A CR ending the previous block pairs with an LF starting this one.
    if (pendingCarriageReturn_) {
        pendingCarriageReturn_ = false;
        if (in[0] == kLineFeed) {
            cursor = emitDelivered(cursor, kLineFeed);
            i = 1;
        } else {
            cursor = emitDelivered(cursor, kCarriageReturn);
        }
    }

    while (i < size) {
        const unsigned char byte = in[i];
        if (!special_[byte]) {
            *cursor++ = replaced_[byte];
            ++i;
            continue;
        }
        if (byte == kEndOfText) {
            ended_ = true;
            break;
        }
        if (byte == kCarriageReturn) {
            if (i + 1 == size) {
                pendingCarriageReturn_ = true;
                break;
            }
            if (in[i + 1] == kLineFeed) {
                cursor = emitDelivered(cursor, kLineFeed);
                i += 2;
            } else {
                cursor = emitDelivered(cursor, kCarriageReturn);
                ++i;
            }
            continue;
        }
        // Any other special byte is written as a line end.
        *cursor++ = kCarriageReturn;
        *cursor++ = kLineFeed;
        ++i;
    }
    return static_cast<std::size_t>(cursor - out);
}

std::size_t TextByteReplacer::finish(unsigned char *out) {
    if (!pendingCarriageReturn_ || ended_) return 0;
    pendingCarriageReturn_ = false;
    return static_cast<std::size_t>(emitDelivered(out, kCarriageReturn) - out);
}

bool replaceByteInTextFile(const char *source, const char *destination, uint8_t from,
                           uint8_t to) {
    // The source is checked before the destination is created or emptied.
    FilePtr input(std::fopen(source, "rb"));
    if (!input) return false;
    const std::optional<FileIdentity> sourceIdentity = identityOfOpenFile(input.get());
    if (!sourceIdentity || sourceIdentity->isDirectory) return false;
    // Opening the source itself for writing would empty it before it is read.
    const std::optional<FileIdentity> destinationIdentity = identityOfPath(destination);
    if (destinationIdentity && *destinationIdentity == *sourceIdentity) return false;

    std::vector<unsigned char> inBlock(kBlockSize);
    std::vector<unsigned char> outBlock(TextByteReplacer::maxOutputSize(kBlockSize));

    FilePtr output(std::fopen(destination, "wb"));
    if (!output) return false;
    // Whole blocks go straight to the system; stream buffers would only copy.
    std::setvbuf(input.get(), nullptr, _IONBF, 0);
    std::setvbuf(output.get(), nullptr, _IONBF, 0);

    TextByteReplacer replacer(from, to);
    bool ok = true;
    while (ok && !replacer.ended()) {
        const std::size_t got = std::fread(inBlock.data(), 1, inBlock.size(), input.get());
        if (got == 0) break;
        const std::size_t produced =
            replacer.transform(std::span(inBlock.data(), got), outBlock.data());
        ok = std::fwrite(outBlock.data(), 1, produced, output.get()) == produced;
    }
    if (std::ferror(input.get())) ok = false;
    if (ok) {
        const std::size_t produced = replacer.finish(outBlock.data());
        ok = std::fwrite(outBlock.data(), 1, produced, output.get()) == produced;
    }
    if (std::fclose(output.release()) != 0) ok = false;
    return ok;
}

}  // namespace hostutil

extern "C" {

HOSTUTIL_API int32_t HOSTUTIL_CALL ReplChar(const char *source, const char *destination,
                                            int32_t fromByte, int32_t toByte) {
    try {
        if (source == nullptr || destination == nullptr) return 0;
        // Only the low 8 bits of each argument name the byte.
        const auto from = static_cast<uint8_t>(static_cast<uint32_t>(fromByte));
        const auto to = static_cast<uint8_t>(static_cast<uint32_t>(toByte));
        return hostutil::replaceByteInTextFile(source, destination, from, to) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
