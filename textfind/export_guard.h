// The one guard around every export: nothing thrown reaches the host.
#pragma once

#include <cstdint>

#include "textfind.h"

namespace textfind {

// What each export returns when its body throws. The bodies throw only
// std::bad_alloc (a list or string that cannot grow), so each fallback is
// the export's code for "memory ran out".
namespace fallback {
// The query did not run; the result set was built aside and is unchanged.
inline constexpr int32_t kScanDb = TEXTFIND_SCAN_NO_HANDLE;
// -1 is also ResSet's and FindDB's code for "the call did not run": memory for
// the pages they vet ran out before the entry was taken.
inline constexpr int32_t kResSet = TEXTFIND_RECORD_NO_HANDLE;
inline constexpr int32_t kFindDb = TEXTFIND_RECORD_NO_HANDLE;
}  // namespace fallback

template <typename Body>
int32_t guardExport(int32_t fallback, Body &&body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

}  // namespace textfind
