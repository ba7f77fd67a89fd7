// Printer selection: the print dialog over the host's setup record, and the
// default printer's three names.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostutil.h"

namespace hostutil {

// The size SetupDialog and DefaultPrinter take each host name buffer to have.
inline constexpr size_t kNameBufferSize = 129;

int32_t setupDialog(HostutilPrinterSetup *record);

int32_t defaultPrinter(char *deviceBuffer, char *driverBuffer, char *portBuffer);

}  // namespace hostutil
