#include "vedivar.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "export_guard.h"
#include "hostutil.h"

namespace hostutil {

namespace {
constexpr std::size_t kTypeByteOffset = 11;
constexpr std::size_t kValueOffset = 32;
constexpr unsigned char kCharacterType = 0xC3;  // 'C' with the high bit set
constexpr unsigned char kLogicalType = 0xCC;    // 'L' with the high bit set

// The first offset where `name` and its NUL stand with at least two bytes of
// the window after them.
std::optional<std::size_t> findNameWithTerminator(std::span<const unsigned char> window,
                                                  std::string_view name) {
    const std::size_t patternLength = name.size() + 1;
    if (window.size() < patternLength + 2) return std::nullopt;
    const std::size_t lastStart = window.size() - patternLength - 2;
    for (std::size_t i = 0; i <= lastStart; ++i) {
        if (window[i + name.size()] == 0 &&
            std::memcmp(window.data() + i, name.data(), name.size()) == 0) {
            return i;
        }
    }
    return std::nullopt;
}
}  // namespace

MemoryVariableLookup lookUpMemoryVariable(std::span<const unsigned char> window,
                                          std::string_view name) {
    const std::optional<std::size_t> found = findNameWithTerminator(window, name);
    if (!found) return {HOSTUTIL_VARIABLE_NOT_FOUND, {}};
    const std::size_t at = *found;

    // An entry counts only when every byte it needs was read: a file cut
    // short or an entry straddling the window must not leak other memory.
    const std::size_t typeAt = at + kTypeByteOffset;
    const std::size_t valueAt = at + kValueOffset;
    if (typeAt >= window.size()) return {HOSTUTIL_VARIABLE_NOT_FOUND, {}};
    const unsigned char type = window[typeAt];
    if (type != kCharacterType && type != kLogicalType) return {HOSTUTIL_VARIABLE_FOUND, {}};
    if (valueAt >= window.size()) return {HOSTUTIL_VARIABLE_NOT_FOUND, {}};

    if (type == kLogicalType) {
        // Both literals carry their NUL: two bytes.
        return {HOSTUTIL_VARIABLE_FOUND,
                window[valueAt] != 0 ? std::string_view("T", 2) : std::string_view("F", 2)};
    }
    const unsigned char *value = window.data() + valueAt;
    const void *terminator = std::memchr(value, 0, window.size() - valueAt);
    if (terminator == nullptr) return {HOSTUTIL_VARIABLE_NOT_FOUND, {}};
    const std::size_t length =
        static_cast<std::size_t>(static_cast<const unsigned char *>(terminator) - value) + 1;
    return {HOSTUTIL_VARIABLE_FOUND,
            std::string_view(reinterpret_cast<const char *>(value), length)};
}

int32_t lookUpMemoryVariableInFile(const char *path, std::string_view name, char *out) {
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr) return HOSTUTIL_VARIABLE_FILE_NOT_OPENED;
    unsigned char window[kMemoryVariableWindowSize];
    const std::size_t bytesRead = std::fread(window, 1, sizeof window, file);
    std::fclose(file);
    if (bytesRead == 0) return HOSTUTIL_VARIABLE_FILE_EMPTY;

    const MemoryVariableLookup result =
        lookUpMemoryVariable(std::span<const unsigned char>(window, bytesRead), name);
    if (out != nullptr && !result.output.empty())
        std::memcpy(out, result.output.data(), result.output.size());
    return result.status;
}

}  // namespace hostutil

extern "C" {

HOSTUTIL_API int32_t HOSTUTIL_CALL VEDIVAR(const char *path, const char *name, char *out) {
    if (path == nullptr) return HOSTUTIL_VARIABLE_FILE_NOT_OPENED;
    if (name == nullptr) return HOSTUTIL_VARIABLE_NOT_FOUND;
    return hostutil::guardExport(hostutil::fallback::kVedivar, [&] {
        return hostutil::lookUpMemoryVariableInFile(path, name, out);
    });
}

}  // extern "C"
