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
}  // namespace

bool replaceByteInTextFile(const char *source, const char *destination, uint8_t from, uint8_t to) {
    // The source is checked before the destination is created or emptied.
    FilePtr input(std::fopen(source, "rb"));
    if (!input) return false;
    const std::optional<platform::FileIdentity> sourceIdentity =
        platform::identityOfOpenFile(input.get());
    if (!sourceIdentity || sourceIdentity->isDirectory) return false;
    // Opening the source itself for writing would empty it before it is read.
    const std::optional<platform::FileIdentity> destinationIdentity =
        platform::identityOfPath(destination);
    if (destinationIdentity && destinationIdentity->sameFileAs(*sourceIdentity)) return false;

    std::vector<unsigned char> inBlock(kBlockSize);
    std::vector<unsigned char> outBlock(TextByteReplacer::maxOutputSize(kBlockSize));

    // The copy replaces the destination only once it is complete.
    platform::ReplacementFile output(destination);
    if (!output.stream()) return false;
    // Whole blocks go straight to the system; stream buffers would only copy.
    std::setvbuf(input.get(), nullptr, _IONBF, 0);
    std::setvbuf(output.stream(), nullptr, _IONBF, 0);

    TextByteReplacer replacer(from, to);
    bool ok = true;
    while (ok && !replacer.ended()) {
        const std::size_t got = std::fread(inBlock.data(), 1, inBlock.size(), input.get());
        if (got == 0) break;
        const std::size_t produced =
            replacer.transform(std::span(inBlock.data(), got), outBlock.data());
        ok = std::fwrite(outBlock.data(), 1, produced, output.stream()) == produced;
    }
    if (std::ferror(input.get())) ok = false;
    if (ok) {
        const std::size_t produced = replacer.finish(outBlock.data());
        ok = std::fwrite(outBlock.data(), 1, produced, output.stream()) == produced;
    }
    return ok && output.commit();
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
