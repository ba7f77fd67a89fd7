#include "printer_select.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform_double.h"

using test::ScopedDouble;
using Calls = std::vector<std::string>;
using hostutil::platform::PrinterNames;

namespace {

// The host's side: a record and three buffers larger than the library
// assumes, filled with a mark so any write shows.
struct HostRecord {
    static constexpr size_t kSize = 300;
    char device[kSize], driver[kSize], port[kSize];
    HostutilPrinterSetup record;

    HostRecord() {
        std::memset(device, 0xA5, kSize);
        std::memset(driver, 0xA5, kSize);
        std::memset(port, 0xA5, kSize);
        std::strcpy(device, "old device");
        std::strcpy(driver, "old driver");
        std::strcpy(port, "old port");
        record.deviceName = device;
        record.driverName = driver;
        record.portName = port;
        record.copies = 2;
        record.fromPage = 1;
        record.toPage = 5;
        record.flags = 0x00040108;
        record.deviceContext = reinterpret_cast<void *>(0x1234);
    }

    std::string bytes() const {
        std::string all(reinterpret_cast<const char *>(&record), sizeof record);
        return all + std::string(device, kSize) + std::string(driver, kSize) +
               std::string(port, kSize);
    }
};

TEST(SetupDialog, TheDialogStartsFromTheRecord) {
    ScopedDouble os;
    HostRecord host;
    hostutil::setupDialog(&host.record);
    ASSERT_TRUE(os->dialogSeen);
    const auto &seen = *os->dialogSeen;
    EXPECT_EQ(seen.flags, 0x00040108u);
    EXPECT_EQ(seen.copies, 2);
    EXPECT_EQ(seen.fromPage, 1);
    EXPECT_EQ(seen.minPage, 1);
    EXPECT_EQ(seen.toPage, 5);
    EXPECT_EQ(seen.maxPage, 5);
}

// The Win32 backend frees the dialog's blocks (see its printDialog); here
// the service must leave the host's bytes as they were.
TEST(SetupDialog, ACancelledDialogLeavesEveryByteAndFreesTheBlocks) {
    for (bool withNames : {false, true}) {
        SCOPED_TRACE(withNames);
        ScopedDouble os;
        HostRecord host;
        std::string before = host.bytes();
        if (withNames) os->dialogChoice.names = PrinterNames{"dev", "drv", "port"};
        os->dialogChoice.copies = 9;
        os->dialogChoice.deviceContext = &host;
        os->faults.fail(test::Operation::PrintDialog, 1, 0);

        EXPECT_EQ(hostutil::setupDialog(&host.record), 0);
        EXPECT_EQ(host.bytes(), before);
        EXPECT_EQ(os->calls, Calls{"printDialog()"});
    }
}

TEST(SetupDialog, AConfirmedDialogFillsTheRecordButNotItsFlags) {
    ScopedDouble os;
    HostRecord host;
    os->dialogChoice.names = PrinterNames{"Ufficio", "HP Driver", "LPT1:"};
    os->dialogChoice.copies = 3;
    os->dialogChoice.fromPage = 2;
    os->dialogChoice.toPage = 4;
    int context = 0;
    os->dialogChoice.deviceContext = &context;

    EXPECT_EQ(hostutil::setupDialog(&host.record), 1);
    EXPECT_STREQ(host.device, "Ufficio");
    EXPECT_STREQ(host.driver, "HP Driver");
    EXPECT_STREQ(host.port, "LPT1:");
    EXPECT_EQ(+host.record.copies, 3);
    EXPECT_EQ(+host.record.fromPage, 2);
    EXPECT_EQ(+host.record.toPage, 4);
    EXPECT_EQ(static_cast<void *>(host.record.deviceContext), &context);
    EXPECT_EQ(+host.record.flags, 0x00040108u);
    EXPECT_EQ(os->calls, Calls{"printDialog()"});
}

TEST(SetupDialog, LongNamesAreCutTo128CharactersAndTerminated) {
    struct Row {
        size_t length;
        size_t kept;
    };
    for (Row row : {Row{127, 127}, Row{128, 128}, Row{129, 128}, Row{1000, 128}}) {
        SCOPED_TRACE(row.length);
        ScopedDouble os;
        HostRecord host;
        os->dialogChoice.names =
            PrinterNames{std::string(row.length, 'd'), std::string(row.length, 'r'),
                         std::string(row.length, 'p')};
        ASSERT_EQ(hostutil::setupDialog(&host.record), 1);
        for (const char *buffer : {host.device, host.driver, host.port}) {
            EXPECT_EQ(std::strlen(buffer), row.kept);
            // Nothing past the terminator is touched.
            for (size_t i = row.kept + 1; i < HostRecord::kSize; ++i)
                ASSERT_EQ(static_cast<unsigned char>(buffer[i]), 0xA5) << i;
        }
        EXPECT_EQ(host.device[0], 'd');
        EXPECT_EQ(host.driver[0], 'r');
    }
}

TEST(SetupDialog, MissingPiecesAreSkipped) {
    {
        SCOPED_TRACE("confirmed without a device-names block");
        ScopedDouble os;
        HostRecord host;
        os->dialogChoice.copies = 7;
        EXPECT_EQ(hostutil::setupDialog(&host.record), 1);
        EXPECT_STREQ(host.device, "old device");
        EXPECT_EQ(+host.record.copies, 7);
        EXPECT_EQ(os->calls, Calls{"printDialog()"});
    }
    {
        SCOPED_TRACE("null buffer addresses");
        ScopedDouble os;
        HostRecord host;
        host.record.driverName = nullptr;
        os->dialogChoice.names = PrinterNames{"dev", "drv", "port"};
        EXPECT_EQ(hostutil::setupDialog(&host.record), 1);
        EXPECT_STREQ(host.device, "dev");
        EXPECT_STREQ(host.driver, "old driver");
        EXPECT_STREQ(host.port, "port");
    }
    {
        SCOPED_TRACE("null record");
        ScopedDouble os;
        EXPECT_EQ(hostutil::setupDialog(nullptr), 0);
        EXPECT_TRUE(os->calls.empty());
    }
}

TEST(DefaultPrinter, NoEntryGivesThreeEmptyNamesAndNullBuffersAreSkipped) {
    ScopedDouble os;
    char device[129] = "x", port[129] = "z";
    EXPECT_EQ(hostutil::defaultPrinter(device, nullptr, port), 1);
    EXPECT_STREQ(device, "");
    EXPECT_STREQ(port, "");
    os->defaultNames = PrinterNames{"a", "b", "c"};
    EXPECT_EQ(hostutil::defaultPrinter(nullptr, nullptr, port), 1);
    EXPECT_STREQ(port, "c");
}

}  // namespace
