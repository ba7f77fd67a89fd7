// The Linux backend's clock: the instant a SystemTime names, and reading the
// clock. Nothing here sets it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/linux/posix.h"
#include "system_time_text.h"

namespace {

using hostutil::platform::SystemTime;

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
