// Clock setting, field by field over the current local time.
#pragma once

#include <cstdint>

namespace hostutil {

int32_t setNewTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute);

}  // namespace hostutil
