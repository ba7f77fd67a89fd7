// Exercises the real clock backend. It first gives up the right to change
// the clock, and refuses to go on unless that right is really gone: nothing
// here may ever move the machine's clock.
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "hostutil.h"

namespace {

constexpr unsigned kBit = 1u << (CAP_SYS_TIME % 32);
constexpr int kWord = CAP_SYS_TIME / 32;

bool capabilities(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

void dropClockRight() {
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    prctl(PR_CAPBSET_DROP, CAP_SYS_TIME, 0, 0, 0);  // fails harmlessly without CAP_SETPCAP
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    __user_cap_data_struct data[2] = {};
    if (!capabilities(data)) {
        std::perror("capget");
        std::abort();
    }
    data[kWord].effective &= ~kBit;
    data[kWord].permitted &= ~kBit;
    data[kWord].inheritable &= ~kBit;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    if (syscall(SYS_capset, &header, data) != 0) {
        std::perror("capset");
        std::abort();
    }
}

void requireNoClockRight() {
    __user_cap_data_struct data[2] = {};
    if (!capabilities(data) || (data[kWord].effective & kBit) || (data[kWord].permitted & kBit) ||
        prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_IS_SET, CAP_SYS_TIME, 0, 0) == 1) {
        std::fputs("still able to change the clock: refusing to run\n", stderr);
        std::abort();
    }
}

int failures = 0;

void expect(int32_t result, int32_t wanted, const char *what) {
    if (result != wanted) {
        std::fprintf(stderr, "%s: got %d, wanted %d\n", what, result, wanted);
        ++failures;
    }
}

}  // namespace

int main() {
    dropClockRight();
    requireNoClockRight();
    // Only calls that would leave the clock where it is even if allowed.
    expect(SetNewTime(0, 0, 0, -1, -1), 0, "the current time, refused");
    expect(SetNewTime(2004, 2, 30, -1, -1), 0, "30 February");
    expect(SetNewTime(-1, 13, -1, -1, -1), 0, "month 13");
    if (failures == 0) std::puts("the real clock backend refuses without the right to set it");
    return failures == 0 ? 0 : 1;
}
