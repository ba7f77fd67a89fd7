// DefaultPrinter from the profile, SetupDialog answered by the watcher.
#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <string>
#include <vector>

#include "runner.h"
#include "test_list.h"
#include "watcher.h"

namespace test {

namespace {

void defaultPrinterCases(const std::string &printer, const std::string &port) {
    Case c("DefaultPrinter splits the profile entry");
    char profile[256] = "";
    GetProfileStringA("windows", "device", ",,,", profile, sizeof profile);
    std::string expected = printer + ",wineps.drv," + port;
    c.expectText(profile, expected, "profile entry");
    char device[129], driver[129], portName[129];
    std::memset(device, '#', sizeof device);
    std::memset(driver, '#', sizeof driver);
    std::memset(portName, '#', sizeof portName);
    c.expectInt(api.DefaultPrinter(device, driver, portName), 1, "DefaultPrinter");
    c.expectText(device, printer, "device");
    c.expectText(driver, "wineps.drv", "driver");
    c.expectText(portName, port, "port");
}

void setupDialogCases(const std::string &printer, const std::string &port) {
    const uint32_t flags = PD_RETURNDC | PD_NOSELECTION;
    {
        Case c("SetupDialog confirmed updates the record and keeps flags");
        char device[256], driver[256], portName[256];
        std::memset(device, '#', sizeof device);
        std::memset(driver, '#', sizeof driver);
        std::memset(portName, '#', sizeof portName);
        device[255] = driver[255] = portName[255] = 0;
        HostutilPrinterSetup record;
        record.deviceName = device;
        record.driverName = driver;
        record.portName = portName;
        record.copies = 2;
        record.fromPage = 1;
        record.toPage = 5;
        record.flags = flags;
        record.deviceContext = nullptr;
        takeDialogs();
        answerDialogsWith(IDOK);
        int32_t result = api.SetupDialog(&record);
        answerDialogsWith(0);
        c.expect(result != 0, "SetupDialog returned 0 (CommDlgExtendedError %lu)",
                 CommDlgExtendedError());
        c.expectInt(static_cast<long>(takeDialogs().size()), 1, "dialogs answered");
        c.expectText(device, printer, "device");
        // The dialog names the same driver as the default-printer entry.
        char profile[256] = "";
        GetProfileStringA("windows", "device", ",,,", profile, sizeof profile);
        std::string entry = profile;
        size_t first = entry.find(',');
        size_t second = entry.find(',', first + 1);
        std::string profileDriver = first == std::string::npos || second == std::string::npos
                                        ? std::string("(none)")
                                        : entry.substr(first + 1, second - first - 1);
        c.expectText(driver, profileDriver, "driver");
        c.expectText(portName, port, "port");
        c.expectInt(record.copies, 2, "copies");
        c.expectInt(record.fromPage, 1, "fromPage");
        c.expectInt(record.toPage, 5, "toPage");
        c.expectInt(static_cast<long>(record.flags), static_cast<long>(flags), "flags");
        c.expect(record.deviceContext != nullptr, "no device context");
        if (record.deviceContext) {
            c.expect(
                GetDeviceCaps(static_cast<HDC>(record.deviceContext), TECHNOLOGY) == DT_RASPRINTER,
                "device context is not a printer's");
            DeleteDC(static_cast<HDC>(record.deviceContext));
        }
    }
    {
        Case c("SetupDialog cancelled leaves the record unchanged");
        char device[64], driver[64], portName[64];
        std::memset(device, 'd', sizeof device);
        std::memset(driver, 'r', sizeof driver);
        std::memset(portName, 'p', sizeof portName);
        HostutilPrinterSetup record;
        record.deviceName = device;
        record.driverName = driver;
        record.portName = portName;
        record.copies = 3;
        record.fromPage = 2;
        record.toPage = 9;
        record.flags = flags;
        record.deviceContext = reinterpret_cast<void *>(0x1234);
        HostutilPrinterSetup before = record;
        takeDialogs();
        answerDialogsWith(IDCANCEL);
        int32_t result = api.SetupDialog(&record);
        answerDialogsWith(0);
        c.expectInt(result, 0, "SetupDialog");
        c.expectInt(static_cast<long>(takeDialogs().size()), 1, "dialogs answered");
        c.expect(std::memcmp(&before, &record, sizeof record) == 0, "record changed");
        c.expect(std::string(device, 64) == std::string(64, 'd') &&
                     std::string(driver, 64) == std::string(64, 'r') &&
                     std::string(portName, 64) == std::string(64, 'p'),
                 "buffers changed");
    }
}

}  // namespace

void printerSelectCases(const Setting &setting) {
    defaultPrinterCases(setting.printer, setting.port);
    setupDialogCases(setting.printer, setting.port);
}

}  // namespace test
