// The Win32 backend's reading of the profile's default-printer entry and of
// the print dialog's DEVNAMES block; the entry's table runs through the
// service too, as DefaultPrinter sees it.
#include "platform/device_entry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform_double.h"
#include "printer_select.h"

namespace {

TEST(DefaultPrinter, SplitsTheEntryLikeTheScanPattern) {
    const std::string p128(128, 'x'), p129(129, 'y');
    struct Row {
        std::string entry;
        std::string device, driver, port;
    };
    const Row rows[] = {
        {"Name,winspool,LPT1:", "Name", "winspool", "LPT1:"},
        {",,,", "", "", ""},
        {"", "", "", ""},
        {"Name,,LPT1:", "Name", "", ""},
        {"Name, winspool, LPT1:", "Name", " winspool", " LPT1:"},
        {"Name", "Name", "", ""},
        {"Name,winspool", "Name", "winspool", ""},
        {"Name,winspool,", "Name", "winspool", ""},
        {"Name,winspool,LPT1:,extra,more", "Name", "winspool", "LPT1:"},
        {",winspool,LPT1:", "", "", ""},
        {p128 + ",drv,port", p128, "drv", "port"},
        {p129 + ",drv,port", p129.substr(0, 128), "", ""},
        {"dev," + p129 + ",port", "dev", p129.substr(0, 128), ""},
        {"dev,drv," + p129, "dev", "drv", p129.substr(0, 128)},
        {"dev,drv,port\r\n", "dev", "drv", "port\r\n"},
        // The entry is read into 256 bytes: the rest never arrives.
        {std::string(120, 'a') + "," + std::string(120, 'b') + "," + std::string(40, 'c'),
         std::string(120, 'a'), std::string(120, 'b'), std::string(13, 'c')},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.entry);
        test::ScopedDouble os;
        os->defaultNames = hostutil::platform::namesFromDeviceEntry(row.entry);
        char device[200], driver[200], port[200];
        std::memset(device, 'J', sizeof device);
        std::memset(driver, 'J', sizeof driver);
        std::memset(port, 'J', sizeof port);

        EXPECT_EQ(hostutil::defaultPrinter(device, driver, port), 1);
        EXPECT_EQ(device, row.device);
        EXPECT_EQ(driver, row.driver);
        EXPECT_EQ(port, row.port);
        for (const char *buffer : {device, driver, port})
            for (size_t i = 129; i < 200; ++i) ASSERT_EQ(buffer[i], 'J');
        EXPECT_EQ(os->calls, std::vector<std::string>{"defaultPrinter()"});
    }
}

// A DEVNAMES block: header, then the names at their offsets.
std::vector<char> devNamesBlock(const std::string &driver, const std::string &device,
                                const std::string &port) {
    std::vector<char> block(sizeof(hostutil::platform::DevNames));
    hostutil::platform::DevNames header{};
    uint16_t *offsets[3] = {&header.driverOffset, &header.deviceOffset, &header.outputOffset};
    const std::string *names[3] = {&driver, &device, &port};
    for (int i = 0; i < 3; ++i) {
        *offsets[i] = static_cast<uint16_t>(block.size());
        block.insert(block.end(), names[i]->begin(), names[i]->end());
        block.push_back(0);
    }
    std::memcpy(block.data(), &header, sizeof header);
    return block;
}

TEST(DevNames, NamesComeFromTheirOffsetsAndStayInsideTheBlock) {
    using hostutil::platform::namesFromDevNames;
    std::vector<char> block = devNamesBlock("winspool", "Ufficio", "LPT1:");
    auto names = namesFromDevNames(block.data(), block.size());
    ASSERT_TRUE(names);
    EXPECT_EQ(names->device, "Ufficio");
    EXPECT_EQ(names->driver, "winspool");
    EXPECT_EQ(names->port, "LPT1:");

    // The last name's NUL cut off: it stops at the block's end.
    names = namesFromDevNames(block.data(), block.size() - 1);
    ASSERT_TRUE(names);
    EXPECT_EQ(names->port, "LPT1:");
    names = namesFromDevNames(block.data(), block.size() - 3);
    EXPECT_EQ(names->port, "LPT");

    // An offset beyond the block gives an empty name.
    hostutil::platform::DevNames header{};
    std::memcpy(&header, block.data(), sizeof header);
    header.outputOffset = 5000;
    std::memcpy(block.data(), &header, sizeof header);
    names = namesFromDevNames(block.data(), block.size());
    EXPECT_EQ(names->port, "");
    EXPECT_EQ(names->device, "Ufficio");

    EXPECT_FALSE(namesFromDevNames(block.data(), sizeof header - 1));
    EXPECT_FALSE(namesFromDevNames(nullptr, 64));
}

}  // namespace
