#include "replchar.h"

#include <bit>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "export_guard.h"
#include "hostutil.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <sys/stat.h>
#endif

// With SSE2, runs of ordinary bytes go 32 at a time, with AVX2 where the
// processor has it; elsewhere the byte loop does all the work. Tests also
// build each narrower variant alone.
#ifndef REPLACE_IN_GROUPS
#if defined(__SSE2__)
#define REPLACE_IN_GROUPS 1
#else
#define REPLACE_IN_GROUPS 0
#endif
#endif
#ifndef REPLACE_WITH_AVX2
#if REPLACE_IN_GROUPS && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define REPLACE_WITH_AVX2 1
#else
#define REPLACE_WITH_AVX2 0
#endif
#endif

#if REPLACE_WITH_AVX2
#include <immintrin.h>
#elif REPLACE_IN_GROUPS
#include <emmintrin.h>
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
    : lineEndsKept_(from != kCarriageReturn && from != kLineFeed) {
    for (std::size_t b = 0; b < 256; ++b)
        replaced_[b] = b == from ? to : static_cast<unsigned char>(b);
    groupRule_.from = from;
    groupRule_.to = to;
    groupRule_.lineEndsKept = lineEndsKept_;
    groupRule_.fromWrittenAsLineEnd = to == kLineFeed;
#if REPLACE_WITH_AVX2
    __builtin_cpu_init();  // harmless when done, needed if called during loading
    groupRule_.avx2 = __builtin_cpu_supports("avx2");
#endif
}

unsigned char *TextByteReplacer::emitDelivered(unsigned char *out, unsigned char delivered) const {
    const unsigned char written = replaced_[delivered];
    if (written == kLineFeed) *out++ = kCarriageReturn;
    *out++ = written;
    return out;
}

#if REPLACE_IN_GROUPS
namespace {
constexpr std::size_t kGroupSize = 32;

// Of a group of 32 bytes (bit k for byte k), those the byte loop must see.
uint32_t lanesForByteLoop(const GroupRule &rule, uint32_t carriageReturns, uint32_t lineFeeds,
                          uint32_t endsOfText, uint32_t froms, bool afterCarriageReturn) {
    if (!rule.lineEndsKept) return carriageReturns | lineFeeds | endsOfText;
    const uint32_t special = lineFeeds | endsOfText | (rule.fromWrittenAsLineEnd ? froms : 0);
    const uint32_t pairedLineFeeds =
        lineFeeds & (carriageReturns << 1 | (afterCarriageReturn ? 1u : 0u));
    return special & ~pairedLineFeeds;
}

// Both variants below copy from `start` on, 32 bytes at a time with the
// from-byte replaced, up to the first byte the byte loop must see or until
// fewer than 32 bytes remain, and return the position reached; `out`
// advances alike. Each stores whole groups: the output has room for two
// bytes per input byte, so bytes stored past the stopping point do no harm.

std::size_t copyOrdinaryRunSse2(const unsigned char *in, std::size_t start, std::size_t size,
                                unsigned char *&out, const GroupRule &rule, unsigned char before) {
    const __m128i from = _mm_set1_epi8(static_cast<char>(rule.from));
    const __m128i flip = _mm_set1_epi8(static_cast<char>(rule.from ^ rule.to));
    const __m128i carriageReturn = _mm_set1_epi8(kCarriageReturn);
    const __m128i lineFeed = _mm_set1_epi8(kLineFeed);
    const __m128i endOfText = _mm_set1_epi8(kEndOfText);
    auto lanes = [](__m128i low, __m128i high, __m128i byte) {
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, byte))) |
               static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, byte))) << 16;
    };
    std::size_t i = start;
    for (; i + kGroupSize <= size; i += kGroupSize, out += kGroupSize) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i + 16));
        const __m128i lowFrom = _mm_cmpeq_epi8(low, from);
        const __m128i highFrom = _mm_cmpeq_epi8(high, from);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                         _mm_xor_si128(low, _mm_and_si128(lowFrom, flip)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16),
                         _mm_xor_si128(high, _mm_and_si128(highFrom, flip)));
        const uint32_t froms = static_cast<uint32_t>(_mm_movemask_epi8(lowFrom)) |
                               static_cast<uint32_t>(_mm_movemask_epi8(highFrom)) << 16;
        const uint32_t special = lanesForByteLoop(
            rule, lanes(low, high, carriageReturn), lanes(low, high, lineFeed),
            lanes(low, high, endOfText), froms, (i > 0 ? in[i - 1] : before) == kCarriageReturn);
        if (special != 0) {
            const auto ordinary = static_cast<std::size_t>(std::countr_zero(special));
            out += ordinary;
            return i + ordinary;
        }
    }
    return i;
}

#if REPLACE_WITH_AVX2
__attribute__((target("avx2"))) std::size_t copyOrdinaryRunAvx2(const unsigned char *in,
                                                                std::size_t start, std::size_t size,
                                                                unsigned char *&out,
                                                                const GroupRule &rule,
                                                                unsigned char before) {
    const __m256i from = _mm256_set1_epi8(static_cast<char>(rule.from));
    const __m256i flip = _mm256_set1_epi8(static_cast<char>(rule.from ^ rule.to));
    const __m256i carriageReturn = _mm256_set1_epi8(kCarriageReturn);
    const __m256i lineFeed = _mm256_set1_epi8(kLineFeed);
    const __m256i endOfText = _mm256_set1_epi8(kEndOfText);
    auto lanes = [](__m256i bytes, __m256i byte) __attribute__((target("avx2"))) {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, byte)));
    };
    std::size_t i = start;
    for (; i + kGroupSize <= size; i += kGroupSize, out += kGroupSize) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i));
        const __m256i isFrom = _mm256_cmpeq_epi8(bytes, from);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out),
                            _mm256_xor_si256(bytes, _mm256_and_si256(isFrom, flip)));
        const uint32_t special = lanesForByteLoop(
            rule, lanes(bytes, carriageReturn), lanes(bytes, lineFeed), lanes(bytes, endOfText),
            static_cast<uint32_t>(_mm256_movemask_epi8(isFrom)),
            (i > 0 ? in[i - 1] : before) == kCarriageReturn);
        if (special != 0) {
            const auto ordinary = static_cast<std::size_t>(std::countr_zero(special));
            out += ordinary;
            return i + ordinary;
        }
    }
    return i;
}
#endif
}  // namespace

std::size_t TextByteReplacer::copyOrdinaryRun(const unsigned char *in, std::size_t start,
                                              std::size_t size, unsigned char *&out) const {
#if REPLACE_WITH_AVX2
    if (groupRule_.avx2)
        return copyOrdinaryRunAvx2(in, start, size, out, groupRule_, previousByte_);
#endif
    return copyOrdinaryRunSse2(in, start, size, out, groupRule_, previousByte_);
}
#endif

std::size_t TextByteReplacer::transform(std::span<const unsigned char> input, unsigned char *out) {
    if (ended_ || input.empty()) return 0;
    const std::size_t produced = lineEndsKept_
                                     ? transformKeepingLineEnds(input.data(), input.size(), out)
                                     : transformAnyBytes(input.data(), input.size(), out);
    previousByte_ = input.back();
    return produced;
}

// CR is written as it came, so a CR LF pair needs no look-ahead: an LF
// right after a CR completes the pair, any other LF is written as CR LF.
std::size_t TextByteReplacer::transformKeepingLineEnds(const unsigned char *in, std::size_t size,
                                                       unsigned char *out) {
    unsigned char *cursor = out;
    std::size_t i = 0;
    while (i < size) {
#if REPLACE_IN_GROUPS
        if (i + kGroupSize <= size) {
            i = copyOrdinaryRun(in, i, size, cursor);
            if (i == size) break;
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
    while (i < size) {
#if REPLACE_IN_GROUPS
        if (i + kGroupSize <= size) {
            i = copyOrdinaryRun(in, i, size, cursor);
            if (i == size) break;
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

bool replaceByteInTextFile(const char *source, const char *destination, uint8_t from, uint8_t to) {
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
    if (source == nullptr || destination == nullptr) return HOSTUTIL_REPLACE_FAILED;
    // Only the low 8 bits of each argument name the byte.
    const auto from = static_cast<uint8_t>(static_cast<uint32_t>(fromByte));
    const auto to = static_cast<uint8_t>(static_cast<uint32_t>(toByte));
    return hostutil::guardExport(hostutil::fallback::kReplChar, [&] {
        return hostutil::replaceByteInTextFile(source, destination, from, to)
                   ? HOSTUTIL_REPLACE_DONE
                   : HOSTUTIL_REPLACE_FAILED;
    });
}

}  // extern "C"
