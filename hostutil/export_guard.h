// The one guard around every export: nothing thrown reaches the host.
#pragma once

#include <cerrno>
#include <cstdint>

#include "hostutil.h"

namespace hostutil {

// What each export returns when its body throws. The bodies throw only
// std::bad_alloc (a string or container that cannot grow), so each fallback
// is the export's code for "memory ran out", and nothing has been written to
// the host's buffers or files by then.
namespace fallback {
inline constexpr int32_t kPrintFile = HOSTUTIL_PRINT_FAILED;        // the file did not go out
inline constexpr int32_t kSetupDialog = HOSTUTIL_DIALOG_CANCELLED;  // record untouched
// Always 1; the names are emptied before anything can throw.
inline constexpr int32_t kDefaultPrinter = HOSTUTIL_DEFAULT_PRINTER_DONE;
inline constexpr int32_t kLoadBin = HOSTUTIL_LOAD_FILE_UNREADABLE;    // the file cannot be held
inline constexpr int32_t kSaveBin = HOSTUTIL_SAVE_VALUE_NOT_FETCHED;  // the value cannot be held
inline constexpr int32_t kVedivar = HOSTUTIL_VARIABLE_NOT_FOUND;
inline constexpr int32_t kReplChar = HOSTUTIL_REPLACE_FAILED;
inline constexpr int32_t kSortList = HOSTUTIL_SORT_EMPTY;  // no other code is free for it
inline constexpr int32_t kSortList2 = HOSTUTIL_SORT_EMPTY;
inline constexpr int32_t kRunPrg = ENOMEM;                     // what the runtime reports for it
inline constexpr int32_t kSetNewTime = HOSTUTIL_TIME_REFUSED;  // the clock is untouched
}  // namespace fallback

template <typename Body>
int32_t guardExport(int32_t fallback, Body &&body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

}  // namespace hostutil
