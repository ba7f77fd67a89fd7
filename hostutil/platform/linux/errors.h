// The Linux backend's last error, kept with its text like the thread's last
// error of other systems. Codes below kFirstSpoolerCode are errno values of
// local file operations; from it up they are IPP status codes of the spooler.
#pragma once

#include <cups/ipp.h>

#include <cstdint>

namespace hostutil::platform::linux_errors {

inline constexpr uint32_t kFirstSpoolerCode = 0x100;

void set(uint32_t code, const char *text);
void setErrno(int code);
// The spooler's last status, or `fallback` when the failure left none.
void setFromSpooler(ipp_status_t fallback);

uint32_t lastCode();
const char *lastText();

}  // namespace hostutil::platform::linux_errors
