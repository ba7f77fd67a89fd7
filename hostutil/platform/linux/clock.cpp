// The local clock: CLOCK_REALTIME read and set through the local time zone.
#include <algorithm>
#include <cerrno>
#include <ctime>

#include "backend.h"
#include "posix.h"

namespace hostutil::platform {

namespace {

bool leapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : days[month - 1];
}

}  // namespace

namespace posix {

bool toInstant(const SystemTime &time, timespec &out) {
    if (time.year < 1601 || time.year > 30827) return false;
    if (time.month < 1 || time.month > 12) return false;
    if (time.day < 1 || time.day > daysInMonth(time.year, time.month)) return false;
    if (time.hour > 23 || time.minute > 59 || time.second > 59 || time.milliseconds > 999)
        return false;
    tm local{};
    local.tm_year = time.year - 1900;
    local.tm_mon = time.month - 1;
    local.tm_mday = time.day;
    local.tm_hour = time.hour;
    local.tm_min = time.minute;
    local.tm_sec = time.second;
    local.tm_isdst = -1;
    errno = 0;
    time_t seconds = mktime(&local);
    if (seconds == static_cast<time_t>(-1) && errno != 0) return false;
    out.tv_sec = seconds;
    out.tv_nsec = static_cast<long>(time.milliseconds) * 1000000L;
    return true;
}

}  // namespace posix

void LinuxBackend::getLocalTime(SystemTime &time) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    time.year = static_cast<uint16_t>(local.tm_year + 1900);
    time.month = static_cast<uint16_t>(local.tm_mon + 1);
    time.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    time.day = static_cast<uint16_t>(local.tm_mday);
    time.hour = static_cast<uint16_t>(local.tm_hour);
    time.minute = static_cast<uint16_t>(local.tm_min);
    time.second = static_cast<uint16_t>(std::min(local.tm_sec, 59));
    time.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
}

bool LinuxBackend::setLocalTime(const SystemTime &time) {
    timespec instant{};
    if (!posix::toInstant(time, instant)) return false;
    return clock_settime(CLOCK_REALTIME, &instant) == 0;
}

}  // namespace hostutil::platform
