// SetNewTime without the right to change the clock.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "runner.h"
#include "test_list.h"
#include "watcher.h"

namespace test {

void setTimeCases(const Setting &) {
    Case c("SetNewTime returns 0 when the clock is not changed");
    SYSTEMTIME before;
    GetLocalTime(&before);
    c.expectInt(api.SetNewTime(2004, 2, 30, -1, -1), 0, "30 February");
    c.expectInt(api.SetNewTime(2004, 13, 1, -1, -1), 0, "month 13");
    // A valid time years away: the platform refuses it for want of the
    // privilege.
    int32_t year = before.wYear > 2010 ? 2001 : 2030;
    c.expectInt(api.SetNewTime(year, 6, 15, 12, 0), 0, "refused by the platform");
    c.expectInt(api.SetNewTime(65536 + year, -1, -1, -1, -1), 0, "high half ignored");
    SYSTEMTIME after;
    GetLocalTime(&after);
    c.expect(after.wYear == before.wYear, "the clock changed");
}

}  // namespace test
