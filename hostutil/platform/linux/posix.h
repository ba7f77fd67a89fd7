// Pieces of the Linux backend that tests reach without going through the
// platform interface.
#pragma once

#include <cups/ipp.h>

#include <ctime>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace hostutil::platform::posix {

// The instant `time` names on the local clock, after checking every field
// (year 1601 to 30827, month 1 to 12, the day inside its month with leap
// years, hour 0 to 23, minute and second 0 to 59, milliseconds 0 to 999; the
// day of the week is ignored). Returns false, leaving `out` alone, when a
// field is out of range or the instant cannot be represented.
bool toInstant(const SystemTime &time, timespec &out);

// The words a command-line text gives a child: the text is cut at every
// space, each piece (empty ones too) is one argument, so joining the
// arguments with single spaces gives the text back; an empty text gives one
// empty argument.
std::vector<std::string> splitCommandLine(const char *commandLine);

// A failure with its text: strerror's for an errno value, CUPS's name for
// an IPP status (or `text` when the server gave one; none for a code CUPS
// has no name for).
SpoolerResult errnoFailure(int code);
SpoolerResult spoolerFailure(ipp_status_t status, const char *text);

}  // namespace hostutil::platform::posix
