#include "set_time.h"

#include "export_guard.h"
#include "hostutil.h"
#include "platform/platform.h"

namespace hostutil {

namespace {

// Hosts pass 16-bit values in 32-bit slots whose high half may hold anything.
int16_t low16(int32_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu));
}

}  // namespace

int32_t setNewTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute) {
    platform::Platform &os = platform::current();
    platform::SystemTime time{};
    os.getLocalTime(time);

    // 0 keeps the date fields but is a valid hour and minute.
    if (int16_t v = low16(year); v > 0) time.year = static_cast<uint16_t>(v);
    if (int16_t v = low16(month); v > 0) time.month = static_cast<uint16_t>(v);
    if (int16_t v = low16(day); v > 0) time.day = static_cast<uint16_t>(v);
    if (int16_t v = low16(hour); v >= 0) time.hour = static_cast<uint16_t>(v);
    if (int16_t v = low16(minute); v >= 0) time.minute = static_cast<uint16_t>(v);

    return os.setLocalTime(time) ? HOSTUTIL_TIME_SET : HOSTUTIL_TIME_REFUSED;
}

}  // namespace hostutil

extern "C" HOSTUTIL_API int32_t HOSTUTIL_CALL SetNewTime(int32_t year, int32_t month, int32_t day,
                                                         int32_t hour, int32_t minute) {
    return hostutil::guardExport(hostutil::fallback::kSetNewTime, [&] {
        return hostutil::setNewTime(year, month, day, hour, minute);
    });
}
