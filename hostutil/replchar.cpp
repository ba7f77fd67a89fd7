#include "replchar.h"

#include <bit>
#include <cstdio>
#include <cstring>
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

// GCC vector types compile to SSE2 where it is there; elsewhere the plain
// byte loop does all the work. Tests also build the plain loop alone.
#ifndef REPLACE_SIXTEEN_AT_A_TIME
#if defined(__GNUC__) && defined(__SSE2__)
#define REPLACE_SIXTEEN_AT_A_TIME 1
#else
#define REPLACE_SIXTEEN_AT_A_TIME 0
#endif
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

TextByteReplacer::TextByteReplacer(uint8_t from, uint8_t to)
    : from_(from), to_(to), lineEndsKept_(from != kCarriageReturn && from != kLineFeed) {
    for (std::size_t b = 0; b < 256; ++b)
        replaced_[b] = b == from ? to : static_cast<unsigned char>(b);
}

unsigned char *TextByteReplacer::emitDelivered(unsigned char *out,
                                               unsigned char delivered) const {
    const unsigned char written = replaced_[delivered];
    if (written == kLineFeed) *out++ = kCarriageReturn;
    *out++ = written;
    return out;
}

#if REPLACE_SIXTEEN_AT_A_TIME
namespace {
typedef unsigned char Bytes16 __attribute__((vector_size(16)));
typedef signed char Mask16 __attribute__((vector_size(16)));

Bytes16 splat(unsigned char byte) { return Bytes16{} + byte; }

bool anyLaneSet(Mask16 mask) {
    uint64_t halves[2];
    std::memcpy(halves, &mask, 16);
    return (halves[0] | halves[1]) != 0;
}

// Position of the first set lane of a non-empty comparison mask.
std::size_t firstSetLane(Mask16 mask) {
    uint64_t low, high;
    std::memcpy(&low, &mask, 8);
    std::memcpy(&high, reinterpret_cast<const char *>(&mask) + 8, 8);
    if constexpr (std::endian::native == std::endian::little) {
        if (low != 0) return static_cast<std::size_t>(std::countr_zero(low)) / 8;
        return 8 + static_cast<std::size_t>(std::countr_zero(high)) / 8;
    } else {
        if (low != 0) return static_cast<std::size_t>(std::countl_zero(low)) / 8;
        return 8 + static_cast<std::size_t>(std::countl_zero(high)) / 8;
    }
}

// Stores the sixteen bytes with the from-byte replaced. The caller keeps
// only those before the first special lane; the output has room for two
// bytes per input byte, so the spare ones are harmless.
void storeReplaced(Bytes16 bytes, Bytes16 froms, Bytes16 tos, unsigned char *out) {
    const Bytes16 isFrom = reinterpret_cast<Bytes16>(bytes == froms);
    const Bytes16 written = (bytes & ~isFrom) | (tos & isFrom);
    std::memcpy(out, &written, 16);
}
}  // namespace
#endif

std::size_t TextByteReplacer::transform(std::span<const unsigned char> input,
                                        unsigned char *out) {
    if (ended_ || input.empty()) return 0;
    const std::size_t produced = lineEndsKept_
                                     ? transformKeepingLineEnds(input.data(), input.size(), out)
                                     : transformAnyBytes(input.data(), input.size(), out);
    previousByte_ = input.back();
    return produced;
}

// CR is written as it came, so a CR LF pair needs no look-ahead: an LF
// right after a CR completes the pair, any other LF is written as CR LF.
std::size_t TextByteReplacer::transformKeepingLineEnds(const unsigned char *in,
                                                       std::size_t size, unsigned char *out) {
    unsigned char *cursor = out;
    std::size_t i = 0;
#if REPLACE_SIXTEEN_AT_A_TIME
    const Bytes16 froms = splat(from_), tos = splat(to_);
    const Bytes16 carriageReturns = splat(kCarriageReturn), lineFeeds = splat(kLineFeed),
                  endsOfText = splat(kEndOfText);
    const Mask16 fromWrittenAsLineEnd = to_ == kLineFeed ? Mask16{} - 1 : Mask16{};
#endif
    while (i < size) {
#if REPLACE_SIXTEEN_AT_A_TIME
        if (i + 16 <= size) {
            Bytes16 bytes;
            std::memcpy(&bytes, in + i, 16);
            storeReplaced(bytes, froms, tos, cursor);
            const Mask16 isLineFeed = bytes == lineFeeds;
            Mask16 special =
                isLineFeed | (bytes == endsOfText) | ((bytes == froms) & fromWrittenAsLineEnd);
            if (!anyLaneSet(special)) {
                cursor += 16;
                i += 16;
                continue;
            }
            Bytes16 previous;
            if (i > 0) {
                std::memcpy(&previous, in + i - 1, 16);
            } else {
                unsigned char shifted[16];
                shifted[0] = previousByte_;
                std::memcpy(shifted + 1, in, 15);
                std::memcpy(&previous, shifted, 16);
            }
            special &= ~(isLineFeed & (previous == carriageReturns));
            if (!anyLaneSet(special)) {
                cursor += 16;
                i += 16;
                continue;
            }
            const std::size_t plain = firstSetLane(special);
            cursor += plain;
            i += plain;
        }
#endif
        const unsigned char byte = in[i];
        const unsigned char before = i > 0 ? in[i - 1] : previousByte_;
        ++i;
        if (byte == kEndOfText) {
            ended_ = true;
            break;
        }
        if (byte == kLineFeed) {
            if (before != kCarriageReturn) *cursor++ = kCarriageReturn;
            *cursor++ = kLineFeed;
            continue;
        }
        const unsigned char written = replaced_[byte];
        if (written == kLineFeed) *cursor++ = kCarriageReturn;
        *cursor++ = written;
    }
    return static_cast<std::size_t>(cursor - out);
}

// CR or LF is the from-byte: every CR waits for the byte after it.
std::size_t TextByteReplacer::transformAnyBytes(const unsigned char *in, std::size_t size,
                                                unsigned char *out) {
    unsigned char *cursor = out;
    std::size_t i = 0;
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
#if REPLACE_SIXTEEN_AT_A_TIME
    const Bytes16 froms = splat(from_), tos = splat(to_);
    const Bytes16 carriageReturns = splat(kCarriageReturn), lineFeeds = splat(kLineFeed),
                  endsOfText = splat(kEndOfText);
#endif
    while (i < size) {
#if REPLACE_SIXTEEN_AT_A_TIME
        if (i + 16 <= size) {
            Bytes16 bytes;
            std::memcpy(&bytes, in + i, 16);
            storeReplaced(bytes, froms, tos, cursor);
            const Mask16 special = (bytes == carriageReturns) | (bytes == lineFeeds) |
                                   (bytes == endsOfText);
            if (!anyLaneSet(special)) {
                cursor += 16;
                i += 16;
                continue;
            }
            const std::size_t plain = firstSetLane(special);
            cursor += plain;
            i += plain;
        }
#endif
        const unsigned char byte = in[i];
        if (byte == kEndOfText) {
            ended_ = true;
            break;
        }
        if (byte == kCarriageReturn) {
            if (i + 1 == size) {
                pendingCarriageReturn_ = true;
                break;
            }
            const bool pair = in[i + 1] == kLineFeed;
            cursor = emitDelivered(cursor, pair ? kLineFeed : kCarriageReturn);
            i += pair ? 2 : 1;
            continue;
        }
        cursor = emitDelivered(cursor, byte);
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
