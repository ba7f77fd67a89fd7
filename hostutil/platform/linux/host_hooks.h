// What the Linux host installed through SetMessageHandler and
// SetDialogProvider; null until it does.
#pragma once

#include "hostutil.h"

namespace hostutil::platform::host_hooks {

HostutilMessageHandler messageHandler();
HostutilDialogProvider dialogProvider();

}  // namespace hostutil::platform::host_hooks
