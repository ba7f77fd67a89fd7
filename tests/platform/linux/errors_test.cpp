// The Linux backend's error texts for local and spooler codes.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace {

using hostutil::platform::native;

TEST(LinuxBackend, ErrorTextsForLocalAndSpoolerCodes) {
    char text[128];
    EXPECT_GT(native().formatMessage(ENOENT, text, sizeof text), 0u);
    EXPECT_STREQ(text, std::strerror(ENOENT));
    EXPECT_GT(native().formatMessage(0x0406, text, sizeof text), 0u);
    EXPECT_STREQ(text, "client-error-not-found");
    EXPECT_EQ(native().formatMessage(0x7777, text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
    char small[8];
    EXPECT_EQ(native().formatMessage(0x0406, small, sizeof small), 7u);
    EXPECT_STREQ(small, "client-");
}

}  // namespace
