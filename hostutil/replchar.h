// Copy of a text file with one byte value replaced (export ReplChar).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/files.h"

namespace hostutil {

// The copy of an open source, in two passes: a first that measures the copy
// (so that its room can be reserved) and the copy itself, which is then of
// the source as measured: bytes the source gains meanwhile are not copied,
// and so cannot outgrow the room.
class TextCopy {
public:
    static constexpr std::size_t kBlockSize = 256 * 1024;

    TextCopy(std::FILE *source, uint8_t from, uint8_t to);
    // The copy's length, the source rewound; nothing when the source cannot
    // be read twice (a pipe) or the pass fails.
    std::optional<uint64_t> measure();
    // False when a read or a write failed.
    bool writeTo(platform::DestinationFile &output);

private:
    std::FILE *source_;
    uint8_t from_, to_;
    uint64_t sourceLeft_ = UINT64_MAX;
    std::vector<unsigned char> inBlock_, outBlock_;
};

// Copies `source` to `destination` through a TextByteReplacer, writing over
// the destination in place (platform::DestinationFile). False (and
// `destination` untouched) when the source cannot be opened, is a directory
// or is the destination itself, when the destination cannot be opened for
// writing or has no room for the copy; false also when a read or write fails
// during the copy.
bool replaceByteInTextFile(const char *source, const char *destination, uint8_t from, uint8_t to);

}  // namespace hostutil
