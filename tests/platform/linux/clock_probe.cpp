// Exercises the real clock backend through the library's export, in a
// process that has first given up the right to change the clock.
#include <cstdio>

#include "clock_right.h"
#include "hostutil.h"

namespace {

int failures = 0;

void expect(int32_t result, int32_t wanted, const char *what) {
    if (result != wanted) {
        std::fprintf(stderr, "%s: got %d, wanted %d\n", what, result, wanted);
        ++failures;
    }
}

}  // namespace

int main() {
    giveUpClockRight();
    // Only calls that would leave the clock where it is even if allowed.
    expect(SetNewTime(0, 0, 0, -1, -1), 0, "the current time, refused");
    expect(SetNewTime(2004, 2, 30, -1, -1), 0, "30 February");
    expect(SetNewTime(-1, 13, -1, -1, -1), 0, "month 13");
    if (failures == 0) std::puts("the real clock backend refuses without the right to set it");
    return failures == 0 ? 0 : 1;
}
