#include "device_entry.h"

#include <algorithm>
#include <cstring>

namespace hostutil::platform {

namespace {
constexpr std::size_t kLongestName = 128;

std::string_view nameAt(const char *bytes, std::size_t size, uint16_t offset) {
    if (offset >= size) return {};
    const char *name = bytes + offset;
    const void *end = std::memchr(name, 0, size - offset);
    return std::string_view(name, end ? static_cast<const char *>(end) - name : size - offset);
}
}  // namespace

PrinterNames namesFromDeviceEntry(std::string_view entry) {
    entry = entry.substr(0, std::min(entry.find('\0'), kDeviceEntrySize - 1));
    std::string *names[3];
    PrinterNames out;
    names[0] = &out.device;
    names[1] = &out.driver;
    names[2] = &out.port;
    std::size_t at = 0;
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            if (at >= entry.size() || entry[at] != ',') break;
            ++at;
        }
        std::size_t length = 0;
        while (length < kLongestName && at + length < entry.size() && entry[at + length] != ',')
            ++length;
        if (length == 0) break;
        names[part]->assign(entry.substr(at, length));
        at += length;
    }
    return out;
}

std::optional<PrinterNames> namesFromDevNames(const void *block, std::size_t size) {
    if (block == nullptr || size < sizeof(DevNames)) return std::nullopt;
    DevNames header;
    std::memcpy(&header, block, sizeof header);
    const auto *bytes = static_cast<const char *>(block);
    return PrinterNames{std::string(nameAt(bytes, size, header.deviceOffset)),
                        std::string(nameAt(bytes, size, header.driverOffset)),
                        std::string(nameAt(bytes, size, header.outputOffset))};
}

}  // namespace hostutil::platform
