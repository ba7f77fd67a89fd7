// Installs a printer in a Wine prefix whose port is a Unix file, so that
// spooled jobs land in that file, and makes it the default printer.
// usage: printer-setup NAME PORT-FILE PPD-FILE
#include <windows.h>
#include <winspool.h>

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: printer-setup NAME PORT-FILE PPD-FILE\n");
        return 2;
    }
    char driverName[] = "Hostlibs Raw Test";
    char driverFile[] = "wineps.drv";
    char datatype[] = "RAW";
    char processor[] = "WinPrint";

    DRIVER_INFO_3A driver{};
    driver.cVersion = 3;
    driver.pName = driverName;
    driver.pDriverPath = driverFile;
    driver.pDataFile = argv[3];
    driver.pConfigFile = driverFile;
    driver.pDefaultDataType = datatype;
    if (!AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE *>(&driver),
                             APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) {
        std::fprintf(stderr, "printer-setup: AddPrinterDriverExA failed: %lu\n", GetLastError());
        return 1;
    }

    PRINTER_INFO_2A info{};
    info.pPrinterName = argv[1];
    info.pPortName = argv[2];
    info.pDriverName = driverName;
    info.pPrintProcessor = processor;
    info.pDatatype = datatype;
    HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE *>(&info));
    if (!printer) {
        std::fprintf(stderr, "printer-setup: AddPrinterA failed: %lu\n", GetLastError());
        return 1;
    }
    ClosePrinter(printer);
    if (!SetDefaultPrinterA(argv[1])) {
        std::fprintf(stderr, "printer-setup: SetDefaultPrinterA failed: %lu\n", GetLastError());
        return 1;
    }
    return 0;
}
