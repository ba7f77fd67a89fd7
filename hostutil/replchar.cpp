#include "replchar.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "export_guard.h"
#include "hostutil.h"
#include "platform/files.h"
#include "text_byte_replacer.h"

namespace hostutil {

namespace {
constexpr std::size_t kBlockSize = 256 * 1024;

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The length of the copy, from a first pass over the source; nothing when
// the source cannot be read twice (a pipe) or the pass fails.
std::optional<uint64_t> lengthOfCopy(std::FILE *input, uint8_t from, uint8_t to,
                                     std::vector<unsigned char> &inBlock,
                                     std::vector<unsigned char> &outBlock) {
    if (!platform::lengthOfOpenFile(input)) return std::nullopt;
    TextByteReplacer replacer(from, to);
    uint64_t length = 0;
    while (!replacer.ended()) {
        const std::size_t got = std::fread(inBlock.data(), 1, inBlock.size(), input);
        if (got == 0) break;
        length += replacer.transform(std::span(inBlock.data(), got), outBlock.data());
    }
    length += replacer.finish(outBlock.data());
    const bool read = !std::ferror(input);
    if (platform::seekFile(input, 0, SEEK_SET) != 0) return std::nullopt;
    return read ? std::optional<uint64_t>(length) : std::nullopt;
}

}  // namespace

bool replaceByteInTextFile(const char *source, const char *destination, uint8_t from, uint8_t to) {
    // The source is checked before the destination is created.
    FilePtr input(std::fopen(source, "rb"));
    if (!input) return false;
    const std::optional<platform::FileIdentity> sourceIdentity =
        platform::identityOfOpenFile(input.get());
    if (!sourceIdentity || sourceIdentity->isDirectory) return false;

    // Opened as a plain open for writing would, but not emptied: the source
    // itself, under any of its names, is refused with nothing changed.
    platform::DestinationFile output(destination);
    if (!output.isOpen()) return false;
    const std::optional<platform::FileIdentity> destinationIdentity = output.identity();
    if (destinationIdentity ? destinationIdentity->sameFileAs(*sourceIdentity)
                            : output.isRegularFile())
        return false;

    // Whole blocks go straight to the system; stream buffers would only copy.
    std::setvbuf(input.get(), nullptr, _IONBF, 0);
    std::vector<unsigned char> inBlock(kBlockSize);
    std::vector<unsigned char> outBlock(TextByteReplacer::maxOutputSize(kBlockSize));

    // Earlier content is changed only once the copy's room is reserved.
    if (output.holdsContent()) {
        const std::optional<uint64_t> length =
            lengthOfCopy(input.get(), from, to, inBlock, outBlock);
        if (length && !output.reserve(*length)) return false;
    }

    TextByteReplacer replacer(from, to);
    bool ok = true;
    while (ok && !replacer.ended()) {
        const std::size_t got = std::fread(inBlock.data(), 1, inBlock.size(), input.get());
        if (got == 0) break;
        const std::size_t produced =
            replacer.transform(std::span(inBlock.data(), got), outBlock.data());
        ok = output.write(outBlock.data(), produced);
    }
    if (std::ferror(input.get())) ok = false;
    if (ok) {
        const std::size_t produced = replacer.finish(outBlock.data());
        ok = output.write(outBlock.data(), produced);
    }
    return ok && output.finish();
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
