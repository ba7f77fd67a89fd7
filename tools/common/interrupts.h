// Files a tool makes and must not leave behind when it is interrupted
// (SIGINT or SIGTERM; Ctrl+C or Ctrl+Break on Windows): each registered file
// is removed, then the tool ends as the interrupt would have ended it.
#pragma once

#include <string>

namespace tools {

// Up to kInterruptFiles at a time; the first call installs the handlers
// (and has a write past the file-size limit fail rather than end the tool).
inline constexpr int kInterruptFiles = 64;
void removeOnInterrupt(const std::string &path);
// The file is the tool's again: kept, or removed by the tool itself.
void forgetOnInterrupt(const std::string &path);

// While one lives, an interrupt waits: the work it guards (a few renames)
// completes or fails as a whole, with the tool's own handling.
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld &) = delete;
    InterruptsHeld &operator=(const InterruptsHeld &) = delete;
};

}  // namespace tools
