// SystemTime compared and printed, for test expectations.
#pragma once

#include <ostream>

#include "platform/platform.h"

namespace hostutil::platform {

inline bool operator==(const SystemTime &a, const SystemTime &b) {
    return a.year == b.year && a.month == b.month && a.dayOfWeek == b.dayOfWeek && a.day == b.day &&
           a.hour == b.hour && a.minute == b.minute && a.second == b.second &&
           a.milliseconds == b.milliseconds;
}

inline std::ostream &operator<<(std::ostream &out, const SystemTime &t) {
    return out << t.year << '-' << t.month << '-' << t.day << " (" << t.dayOfWeek << ") " << t.hour
               << ':' << t.minute << ':' << t.second << '.' << t.milliseconds;
}

}  // namespace hostutil::platform
