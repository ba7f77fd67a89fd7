#include "set_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/platform_double.h"
#include "platform/platform_linux.h"

using hostutil::platform::ScopedDouble;
using hostutil::platform::SystemTime;

namespace hostutil::platform {

bool operator==(const SystemTime &a, const SystemTime &b) {
    return a.year == b.year && a.month == b.month && a.dayOfWeek == b.dayOfWeek && a.day == b.day &&
           a.hour == b.hour && a.minute == b.minute && a.second == b.second &&
           a.milliseconds == b.milliseconds;
}

std::ostream &operator<<(std::ostream &out, const SystemTime &t) {
    return out << t.year << '-' << t.month << '-' << t.day << " (" << t.dayOfWeek << ") " << t.hour
               << ':' << t.minute << ':' << t.second << '.' << t.milliseconds;
}

}  // namespace hostutil::platform

namespace {

constexpr int32_t high(int32_t low) { return static_cast<int32_t>(0x10000 + low); }

TEST(SetNewTime, ReplacesOnlyTheFieldsItIsGiven) {
    const SystemTime now{2010, 6, 3, 16, 10, 20, 30, 500};
    struct Row {
        const char *name;
        int32_t year, month, day, hour, minute;
        SystemTime expected;
    };
    const Row rows[] = {
        {"nothing given", 0, 0, 0, -1, -1, now},
        {"midnight", -1, -1, -1, 0, 0, {2010, 6, 3, 16, 0, 0, 30, 500}},
        {"all fields", 2004, 2, 29, 23, 59, {2004, 2, 3, 29, 23, 59, 30, 500}},
        {"impossible date passes through", 2004, 2, 30, -1, -1, {2004, 2, 3, 30, 10, 20, 30, 500}},
        {"two-digit year stays as given", 98, -5, -5, -5, -5, {98, 6, 3, 16, 10, 20, 30, 500}},
        {"high halves are ignored",
         high(2004),
         high(3),
         high(4),
         high(5),
         high(6),
         {2004, 3, 3, 4, 5, 6, 30, 500}},
        {"a negative low half leaves the field",
         0x7FFF8000,
         0x0001FFFF,
         0x00018000,
         0x7FFFFFFF,
         0x0000FFFF,
         {2010, 6, 3, 16, 10, 20, 30, 500}},
        {"the largest positive low half",
         0x7FFF,
         0,
         0,
         0x7FFF,
         -1,
         {0x7FFF, 6, 3, 16, 0x7FFF, 20, 30, 500}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        for (bool accepted : {true, false}) {
            ScopedDouble os;
            os->now = now;
            os->setTimeSucceeds = accepted;
            ASSERT_EQ(&hostutil::platform::current(), &*os);
            EXPECT_EQ(hostutil::setNewTime(row.year, row.month, row.day, row.hour, row.minute),
                      accepted ? 1 : 0);
            ASSERT_TRUE(os->timeSet);
            EXPECT_EQ(*os->timeSet, row.expected);
            EXPECT_EQ(os->calls, (std::vector<std::string>{"getLocalTime()", "setLocalTime()"}));
        }
    }
}

// The Linux backend's check before the clock is touched; nothing here sets it.
TEST(SetNewTime, LinuxBackendAcceptsOnlyRealInstants) {
    struct Row {
        SystemTime time;
        bool valid;
    };
    const Row rows[] = {
        {{2004, 2, 0, 29, 12, 0, 0, 0}, true},      {{2003, 2, 0, 29, 12, 0, 0, 0}, false},
        {{2000, 2, 0, 29, 12, 0, 0, 0}, true},      {{2100, 2, 0, 29, 12, 0, 0, 0}, false},
        {{2004, 2, 0, 30, 12, 0, 0, 0}, false},     {{2004, 4, 0, 31, 12, 0, 0, 0}, false},
        {{2004, 12, 0, 31, 23, 59, 59, 999}, true}, {{2004, 13, 0, 1, 12, 0, 0, 0}, false},
        {{2004, 0, 0, 1, 12, 0, 0, 0}, false},      {{2004, 1, 0, 0, 12, 0, 0, 0}, false},
        {{2004, 1, 0, 1, 24, 0, 0, 0}, false},      {{2004, 1, 0, 1, 12, 60, 0, 0}, false},
        {{2004, 1, 0, 1, 12, 0, 60, 0}, false},     {{2004, 1, 0, 1, 12, 0, 0, 1000}, false},
        {{1601, 1, 0, 2, 12, 0, 0, 0}, true},       {{1600, 12, 0, 31, 12, 0, 0, 0}, false},
        {{30827, 12, 0, 31, 12, 0, 0, 0}, true},    {{30828, 1, 0, 1, 12, 0, 0, 0}, false},
        {{98, 1, 0, 1, 12, 0, 0, 0}, false},        {{0x7FFF, 1, 0, 1, 12, 0, 0, 0}, false},
        {{2004, 6, 6, 15, 8, 30, 0, 0}, true},  // any day of the week
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.time));
        timespec instant{-7, -7};
        bool valid = hostutil::platform::posix::toInstant(row.time, instant);
        EXPECT_EQ(valid, row.valid);
        if (!valid) {
            EXPECT_EQ(instant.tv_sec, -7);
            continue;
        }
        tm local{};
        ASSERT_TRUE(localtime_r(&instant.tv_sec, &local));
        EXPECT_EQ(local.tm_year + 1900, row.time.year);
        EXPECT_EQ(local.tm_mon + 1, row.time.month);
        EXPECT_EQ(local.tm_mday, row.time.day);
        EXPECT_EQ(local.tm_hour, row.time.hour);
        EXPECT_EQ(local.tm_min, row.time.minute);
        EXPECT_EQ(local.tm_sec, row.time.second);
        EXPECT_EQ(instant.tv_nsec, row.time.milliseconds * 1000000L);
    }
}

// Milliseconds since the epoch, as the backend's fields name them.
long long milliseconds(const timespec &t) { return t.tv_sec * 1000LL + t.tv_nsec / 1000000; }

TEST(SetNewTime, LinuxBackendReadsTheLocalClock) {
    // Local time without daylight saving, so every wall time names one
    // instant; the bounds come from the clock the backend reads.
    setenv("TZ", "UTC0", 1);
    tzset();
    SystemTime read{};
    timespec before{}, after{};
    clock_gettime(CLOCK_REALTIME, &before);
    hostutil::platform::native().getLocalTime(read);
    clock_gettime(CLOCK_REALTIME, &after);
    timespec instant{};
    ASSERT_TRUE(hostutil::platform::posix::toInstant(read, instant))
        << ::testing::PrintToString(read);
    EXPECT_LE(milliseconds(before), milliseconds(instant));
    EXPECT_LE(milliseconds(instant), milliseconds(after));
    tm local{};
    localtime_r(&instant.tv_sec, &local);
    EXPECT_EQ(read.dayOfWeek, local.tm_wday);
}

}  // namespace
