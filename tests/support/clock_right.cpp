#include "clock_right.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr unsigned kBit = 1u << (CAP_SYS_TIME % 32);
constexpr int kWord = CAP_SYS_TIME / 32;

bool capabilities(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

[[noreturn]] void refuse(const char *why) {
    std::fprintf(stderr, "cannot give up the right to change the clock (%s): refusing to run\n",
                 why);
    std::abort();
}

}  // namespace

void giveUpClockRight() {
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    prctl(PR_CAPBSET_DROP, CAP_SYS_TIME, 0, 0, 0);  // fails harmlessly without CAP_SETPCAP
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    __user_cap_data_struct data[2] = {};
    if (!capabilities(data)) refuse("capget");
    data[kWord].effective &= ~kBit;
    data[kWord].permitted &= ~kBit;
    data[kWord].inheritable &= ~kBit;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    if (syscall(SYS_capset, &header, data) != 0) refuse("capset");

    __user_cap_data_struct check[2] = {};
    if (!capabilities(check)) refuse("capget");
    if ((check[kWord].effective & kBit) || (check[kWord].permitted & kBit)) refuse("still held");
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_IS_SET, CAP_SYS_TIME, 0, 0) == 1) refuse("ambient");
}
