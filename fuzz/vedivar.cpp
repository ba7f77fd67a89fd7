// VEDIVAR's search of the read window: "name NUL window" per input.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "check.h"
#include "vedivar.h"

namespace {

// The first i with name+NUL at i and at least two window bytes after it.
std::optional<std::size_t> modelMatch(std::span<const unsigned char> w, std::string_view name) {
    const std::size_t k = name.size() + 1;
    for (std::size_t i = 0; i + k + 2 <= w.size(); ++i) {
        if (w[i + name.size()] == 0 &&
            std::equal(name.begin(), name.end(), w.begin() + static_cast<std::ptrdiff_t>(i),
                       [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; }))
            return i;
    }
    return std::nullopt;
}

void checkWindow(std::span<const unsigned char> bytes, std::string_view name) {
    // An exact-size copy: a read past the bytes read from the file must trip
    // the address checks.
    const std::vector<unsigned char> window(bytes.begin(), bytes.end());
    const std::span<const unsigned char> w(window);

    const hostutil::MemoryVariableLookup got = hostutil::lookUpMemoryVariable(w, name);
    const std::optional<std::size_t> at = modelMatch(w, name);

    if (!at) {
        FUZZ_CHECK(got.status == HOSTUTIL_VARIABLE_NOT_FOUND, "no match gives -1");
        FUZZ_CHECK(got.output.empty(), "no match writes nothing");
        return;
    }
    const std::size_t typeAt = *at + 11, valueAt = *at + 32;
    // An entry that needs bytes beyond those read counts as absent.
    if (typeAt >= w.size()) {
        FUZZ_CHECK(got.status == HOSTUTIL_VARIABLE_NOT_FOUND, "type byte not read gives -1");
        return;
    }
    const unsigned char type = w[typeAt];
    if (type != 0xC3 && type != 0xCC) {
        FUZZ_CHECK(got.status == HOSTUTIL_VARIABLE_FOUND, "other type is found");
        FUZZ_CHECK(got.output.empty(), "other type writes nothing");
        return;
    }
    if (valueAt >= w.size()) {
        FUZZ_CHECK(got.status == HOSTUTIL_VARIABLE_NOT_FOUND, "value not read gives -1");
        return;
    }
    if (type == 0xCC) {
        FUZZ_CHECK(got.status == HOSTUTIL_VARIABLE_FOUND, "logical is found");
        FUZZ_CHECK(got.output == std::string_view(w[valueAt] ? "T" : "F", 2),
                   "logical gives T or F and NUL");
        return;
    }
    const auto value = w.subspan(valueAt);
    const auto end = std::find(value.begin(), value.end(), 0);
    if (end == value.end()) {
        FUZZ_CHECK(got.status == HOSTUTIL_VARIABLE_NOT_FOUND, "unterminated value gives -1");
        return;
    }
    FUZZ_CHECK(got.status == HOSTUTIL_VARIABLE_FOUND, "character is found");
    const std::size_t length = static_cast<std::size_t>(end - value.begin()) + 1;
    FUZZ_CHECK(got.output.size() == length, "value length with its NUL");
    FUZZ_CHECK(reinterpret_cast<const unsigned char *>(got.output.data()) == w.data() + valueAt,
               "value points into the window at the entry's value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const uint8_t *nul = static_cast<const uint8_t *>(std::memchr(data, 0, size));
    if (nul == nullptr) return 0;
    const std::string_view name(reinterpret_cast<const char *>(data),
                                static_cast<std::size_t>(nul - data));
    const std::span<const unsigned char> all(
        nul + 1,
        std::min<std::size_t>(size - name.size() - 1, hostutil::kMemoryVariableWindowSize));
    checkWindow(all, name);

    // The window cut where the first name+NUL, its type byte or its value
    // stands at the very end: where a short read meets the entry's offsets.
    for (std::size_t i = 0; i + name.size() < all.size(); ++i) {
        if (all[i + name.size()] != 0 || std::memcmp(all.data() + i, name.data(), name.size()) != 0)
            continue;
        for (std::size_t end : {i + name.size() + 1, i + name.size() + 2, i + name.size() + 3,
                                i + 11, i + 12, i + 32, i + 33, i + 34})
            if (end < all.size()) checkWindow(all.first(end), name);
        break;
    }
    return 0;
}
