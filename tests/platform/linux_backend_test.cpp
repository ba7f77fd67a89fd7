// The Linux backend's own behaviour where it needs no server: the dialog
// provider contract, the message handler, argument splitting, error texts.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "hostutil.h"
#include "platform/platform.h"
#include "platform/platform_linux.h"
#include "printer_select.h"

using hostutil::platform::native;

namespace {

TEST(LinuxBackend, SplitsTheCommandLineAtEverySpace) {
    using Args = std::vector<std::string>;
    struct Row {
        const char *line;
        Args args;
    };
    const Row rows[] = {
        {"", {""}},
        {nullptr, {""}},
        {"prog", {"prog"}},
        {"prog a  b", {"prog", "a", "", "b"}},
        {" lead", {"", "lead"}},
        {"trail ", {"trail", ""}},
        {"tab\there \"q u\"", {"tab\there", "\"q", "u\""}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line ? row.line : "(null)");
        EXPECT_EQ(hostutil::platform::posix::splitCommandLine(row.line), row.args);
    }
}

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

TEST_F(DialogProvider, NamesBeyondTheBlockLimitAreCut) {
    SetDialogProvider(provider);
    answer = 1;
    deviceOut = std::string(70000, 'v');
    driverOut = std::string(70000, 'w');
    portOut = "";
    hostutil::platform::PrintDialogRecord record{};
    ASSERT_EQ(native().printDialog(record), 1);
    auto *block = static_cast<const char *>(native().globalLock(record.devNames));
    hostutil::platform::DevNames names;
    std::memcpy(&names, block, sizeof names);
    EXPECT_EQ(std::strlen(block + names.driverOffset), 16383u);
    EXPECT_EQ(std::strlen(block + names.deviceOffset), 16383u);
    EXPECT_STREQ(block + names.outputOffset, "");
    native().globalUnlock(record.devNames);
    native().globalFree(record.devNames);
}

std::vector<std::string> shown;
void handler(const char *caption, const char *text) {
    shown.push_back(std::string(caption) + "|" + text);
}

TEST(LinuxBackend, MessageBoxesGoToTheHandlerOrStderr) {
    shown.clear();
    SetMessageHandler(handler);
    native().messageBox("testo", "Prn Bypass");
    SetMessageHandler(nullptr);
    EXPECT_EQ(shown, std::vector<std::string>{"Prn Bypass|testo"});

    ::testing::internal::CaptureStderr();
    native().messageBox("Trasmissione dati alla stampante fallito", "Prn Bypass");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Prn Bypass: Trasmissione dati alla stampante fallito\n");
}

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

TEST(LinuxBackend, ProcessFailuresAndTheWaitCursor) {
    hostutil::platform::ProcessInfo info;
    EXPECT_EQ(native().createProcess("/nonexistent/prog", "prog", info), ENOENT);
    EXPECT_EQ(info.process, nullptr);
    EXPECT_TRUE(native().pathExists("/"));
    EXPECT_FALSE(native().pathExists("/nonexistent/prog"));
    EXPECT_FALSE(native().pathExists(nullptr));
    // Nothing to show on Linux; restoring what it returned is harmless.
    native().setCursor(native().setWaitCursor());
}

}  // namespace
