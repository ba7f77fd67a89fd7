#include "replchar.h"

#include <algorithm>
#include <cstdint>
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

using FilePtr = platform::CFile;

}  // namespace

TextCopy::TextCopy(std::FILE *source, uint8_t from, uint8_t to)
    : source_(source),
      from_(from),
      to_(to),
      inBlock_(kBlockSize),
      outBlock_(TextByteReplacer::maxOutputSize(kBlockSize)) {
    // Whole blocks go straight to the system; stream buffers would only copy.
    std::setvbuf(source_, nullptr, _IONBF, 0);
}

std::optional<uint64_t> TextCopy::measure() {
    if (!platform::lengthOfOpenFile(source_)) return std::nullopt;
    TextByteReplacer replacer(from_, to_);
    uint64_t sourceBytes = 0, copyBytes = 0;
    while (!replacer.ended()) {
        const std::size_t got = std::fread(inBlock_.data(), 1, inBlock_.size(), source_);
        if (got == 0) break;
        sourceBytes += got;
        copyBytes += replacer.transform(std::span(inBlock_.data(), got), outBlock_.data());
    }
    copyBytes += replacer.finish(outBlock_.data());
    const bool read = !std::ferror(source_);
    if (platform::seekFile(source_, 0, SEEK_SET) != 0 || !read) return std::nullopt;
    sourceLeft_ = sourceBytes;
    return copyBytes;
}

bool TextCopy::writeTo(platform::DestinationFile &output) {
    TextByteReplacer replacer(from_, to_);
    bool ok = true;
    while (ok && !replacer.ended() && sourceLeft_ > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<uint64_t>(inBlock_.size(), sourceLeft_));
        const std::size_t got = std::fread(inBlock_.data(), 1, want, source_);
        if (got == 0) break;
        sourceLeft_ -= got;
        const std::size_t produced =
            replacer.transform(std::span(inBlock_.data(), got), outBlock_.data());
        ok = output.write(outBlock_.data(), produced);
    }
    if (std::ferror(source_)) ok = false;
    if (ok) {
        const std::size_t produced = replacer.finish(outBlock_.data());
        ok = output.write(outBlock_.data(), produced);
    }
    return ok;
}

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

    // Earlier content is changed only once the copy's room is reserved.
    TextCopy copy(input.get(), from, to);
    if (output.holdsContent()) {
        const std::optional<uint64_t> length = copy.measure();
        if (length && !output.reserve(*length)) return false;
    }
    return copy.writeTo(output) && output.finish();
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
