// The Linux backend's desktop: the host's dialog provider and message
// handler, and the wait cursor it has not.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hostutil.h"
#include "platform/platform.h"

namespace {

using hostutil::platform::native;

// What the provider saw and what it answers with.
HostutilDialogRequest seen;
int32_t answer = 0;
std::string deviceOut, driverOut, portOut;
void *contextOut = nullptr;

int32_t provider(HostutilDialogRequest *request) {
    seen = *request;
    request->deviceName = deviceOut.c_str();
    request->driverName = driverOut.c_str();
    request->portName = portOut.c_str();
    request->copies = 4;
    request->fromPage = 3;
    request->toPage = 3;
    request->deviceContext = contextOut;
    return answer;
}

struct Host {
    char device[200], driver[200], port[200];
    HostutilPrinterSetup record{device, driver, port, 1, 2, 9, 0x104, nullptr};
    Host() {
        std::strcpy(device, "d0");
        std::strcpy(driver, "r0");
        std::strcpy(port, "p0");
    }
};

class DialogProvider : public ::testing::Test {
protected:
    void TearDown() override { SetDialogProvider(nullptr); }
};

TEST_F(DialogProvider, WithoutProviderTheDialogFailsAndTouchesNothing) {
    Host host;
    HostutilPrinterSetup before = host.record;
    EXPECT_EQ(SetupDialog(&host.record), 0);
    EXPECT_EQ(std::memcmp(&before, &host.record, sizeof before), 0);
    EXPECT_STREQ(host.device, "d0");
}

TEST_F(DialogProvider, AConfirmedChoiceReachesTheRecord) {
    SetDialogProvider(provider);
    Host host;
    answer = 1;
    deviceOut = "capture";
    driverOut = "Local Raw Printer";
    portOut = std::string(300, 'u');
    contextOut = &host;

    EXPECT_EQ(SetupDialog(&host.record), 1);
    EXPECT_EQ(seen.flags, 0x104u);
    EXPECT_EQ(seen.copies, 1);
    EXPECT_EQ(seen.fromPage, 2);
    EXPECT_EQ(seen.minPage, 2);
    EXPECT_EQ(seen.toPage, 9);
    EXPECT_EQ(seen.maxPage, 9);
    EXPECT_STREQ(host.device, "capture");
    EXPECT_STREQ(host.driver, "Local Raw Printer");
    EXPECT_EQ(std::string(host.port), std::string(128, 'u'));
    EXPECT_EQ(+host.record.copies, 4);
    EXPECT_EQ(+host.record.fromPage, 3);
    EXPECT_EQ(+host.record.toPage, 3);
    EXPECT_EQ(+host.record.flags, 0x104u);
    EXPECT_EQ(static_cast<void *>(host.record.deviceContext), &host);
}

TEST_F(DialogProvider, ACancelledChoiceLeavesTheRecord) {
    SetDialogProvider(provider);
    Host host;
    HostutilPrinterSetup before = host.record;
    answer = 0;
    deviceOut = "other";
    EXPECT_EQ(SetupDialog(&host.record), 0);
    EXPECT_EQ(std::memcmp(&before, &host.record, sizeof before), 0);
    EXPECT_STREQ(host.device, "d0");
}

TEST_F(DialogProvider, LongNamesReachTheChoiceWhole) {
    SetDialogProvider(provider);
    answer = 1;
    deviceOut = std::string(70000, 'v');
    driverOut = std::string(70000, 'w');
    portOut = "";
    hostutil::platform::PrintDialogChoice choice;
    ASSERT_EQ(native().printDialog(hostutil::platform::PrintDialogRequest{}, choice), 1);
    ASSERT_TRUE(choice.names);
    EXPECT_EQ(choice.names->device, deviceOut);
    EXPECT_EQ(choice.names->driver, driverOut);
    EXPECT_EQ(choice.names->port, "");
    // Nothing to show on Linux; restoring what it returned is harmless.
    native().setCursor(native().setWaitCursor());
}

std::vector<std::string> shown;
void handler(const char *caption, const char *text) {
    shown.push_back(std::string(caption) + "|" + text);
}

TEST(LinuxBackend, MessageBoxesGoToTheHandlerAndNowhereElse) {
    shown.clear();
    SetMessageHandler(handler);
    native().messageBox("testo", "Prn Bypass");
    SetMessageHandler(nullptr);
    EXPECT_EQ(shown, std::vector<std::string>{"Prn Bypass|testo"});

    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    native().messageBox("Trasmissione dati alla stampante fallito", "Prn Bypass");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

}  // namespace
