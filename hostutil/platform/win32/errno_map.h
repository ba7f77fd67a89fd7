// The C runtime's mapping of a Windows error to errno (its _dosmaperr
// table), so RunPrg reports what a spawn through the runtime would report.
#pragma once

#include <cstdint>

namespace hostutil::platform::win32 {

int errnoForWindowsError(uint32_t code);

}  // namespace hostutil::platform::win32
