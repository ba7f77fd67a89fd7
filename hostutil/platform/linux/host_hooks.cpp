// The two exports a Linux host uses to supply what a desktop platform would:
// the message box of PrintFile and the print dialog of SetupDialog.
#include "host_hooks.h"

namespace hostutil::platform::host_hooks {

namespace {
HostutilMessageHandler installedHandler = nullptr;
HostutilDialogProvider installedProvider = nullptr;
}  // namespace

HostutilMessageHandler messageHandler() { return installedHandler; }
HostutilDialogProvider dialogProvider() { return installedProvider; }

}  // namespace hostutil::platform::host_hooks

extern "C" {

HOSTUTIL_API void HOSTUTIL_CALL SetMessageHandler(HostutilMessageHandler handler) {
    hostutil::platform::host_hooks::installedHandler = handler;
}

HOSTUTIL_API void HOSTUTIL_CALL SetDialogProvider(HostutilDialogProvider provider) {
    hostutil::platform::host_hooks::installedProvider = provider;
}

}  // extern "C"
