// The Windows profile's default-printer entry, "device,driver,port", and the
// print dialog's DEVNAMES block, read into names. Used by the Win32 backend;
// plain code, so every build tests it.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform.h"

namespace hostutil::platform {

// The entry is read into this many bytes: at most 255 characters arrive.
inline constexpr std::size_t kDeviceEntrySize = 256;

// Splits what the profile read gives (up to its first NUL, cut to 255
// characters) into runs of 1 to 128 non-comma characters with exactly one
// comma between them; the split stops at an empty run or a missing comma,
// and a name without its run is empty.
PrinterNames namesFromDeviceEntry(std::string_view entry);

// The DEVNAMES header; offsets count bytes from the start of the block.
struct DevNames {
    uint16_t driverOffset;
    uint16_t deviceOffset;
    uint16_t outputOffset;
    uint16_t isDefault;
};

// The three names of a DEVNAMES block of `size` bytes; nothing outside the
// block is read (a name that runs past its end stops there). Nothing when
// the block is shorter than its header.
std::optional<PrinterNames> namesFromDevNames(const void *block, std::size_t size);

}  // namespace hostutil::platform
