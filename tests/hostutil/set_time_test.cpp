#include "set_time.h"

#include <gtest/gtest.h>

#include <ctime>

#include "platform_double.h"
#include "system_time_text.h"

using hostutil::platform::SystemTime;
using test::ScopedDouble;

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
            if (!accepted) os->faults.fail(test::Operation::SetLocalTime, 1, 0);
            ASSERT_EQ(&hostutil::platform::current(), &*os);
            EXPECT_EQ(hostutil::setNewTime(row.year, row.month, row.day, row.hour, row.minute),
                      accepted ? 1 : 0);
            ASSERT_TRUE(os->timeSet);
            EXPECT_EQ(*os->timeSet, row.expected);
            EXPECT_EQ(os->calls, (std::vector<std::string>{"getLocalTime()", "setLocalTime()"}));
        }
    }
}

}  // namespace
