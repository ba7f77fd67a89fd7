// Compiled for 32-bit Windows only (-fsyntax-only): the records that cross
// the boundary with the host keep the byte layout hosts declare.
#include <windows.h>
#include <commdlg.h>

#include <cstddef>

#include "hostutil.h"

static_assert(sizeof(void *) == 4, "check the 32-bit layout");

static_assert(sizeof(HostutilPrinterSetup) == 26);
static_assert(offsetof(HostutilPrinterSetup, deviceName) == 0);
static_assert(offsetof(HostutilPrinterSetup, driverName) == 4);
static_assert(offsetof(HostutilPrinterSetup, portName) == 8);
static_assert(offsetof(HostutilPrinterSetup, copies) == 12);
static_assert(offsetof(HostutilPrinterSetup, fromPage) == 14);
static_assert(offsetof(HostutilPrinterSetup, toPage) == 16);
static_assert(offsetof(HostutilPrinterSetup, flags) == 18);
static_assert(offsetof(HostutilPrinterSetup, deviceContext) == 22);

static_assert(sizeof(PRINTDLGA) == 66);
static_assert(offsetof(PRINTDLGA, Flags) == 20);
static_assert(offsetof(PRINTDLGA, nFromPage) == 24);
static_assert(offsetof(PRINTDLGA, nToPage) == 26);
static_assert(offsetof(PRINTDLGA, nMinPage) == 28);
static_assert(offsetof(PRINTDLGA, nMaxPage) == 30);
static_assert(offsetof(PRINTDLGA, nCopies) == 32);
static_assert(offsetof(PRINTDLGA, hSetupTemplate) == 62);

static_assert(sizeof(DEVNAMES) == 8);
static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(DOC_INFO_1A) == 12);
