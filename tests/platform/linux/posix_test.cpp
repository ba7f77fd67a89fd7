// posix.h: the Linux backend's failure texts for local and spooler codes.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/posix.h"

namespace {

using hostutil::platform::posix::errnoFailure;
using hostutil::platform::posix::spoolerFailure;

TEST(LinuxBackend, FailuresCarryTheTextsOfLocalAndSpoolerCodes) {
    const auto local = errnoFailure(ENOENT);
    EXPECT_FALSE(local);
    EXPECT_EQ(local.code, static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(local.text, std::strerror(ENOENT));
    EXPECT_EQ(spoolerFailure(static_cast<ipp_status_t>(0x0406), nullptr).text,
              "client-error-not-found");
    EXPECT_EQ(spoolerFailure(static_cast<ipp_status_t>(0x0406), "the server's own words").text,
              "the server's own words");
    const auto unnamed = spoolerFailure(static_cast<ipp_status_t>(0x7777), nullptr);
    EXPECT_EQ(unnamed.code, 0x7777u);
    EXPECT_EQ(unnamed.text, "");
}

}  // namespace
