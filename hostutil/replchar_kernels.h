// The 32-byte paths of the byte replacement: runs of ordinary bytes copied a
// group at a time with SSE2, or AVX2 where the processor has it. Elsewhere
// (REPLACE_IN_GROUPS 0) the byte loop does all the work. Tests also build
// each narrower variant alone.
#pragma once

#include <cstddef>
#include <cstdint>

#ifndef REPLACE_IN_GROUPS
#if defined(__SSE2__)
#define REPLACE_IN_GROUPS 1
#else
#define REPLACE_IN_GROUPS 0
#endif
#endif
#ifndef REPLACE_WITH_AVX2
#if REPLACE_IN_GROUPS && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define REPLACE_WITH_AVX2 1
#else
#define REPLACE_WITH_AVX2 0
#endif
#endif

namespace hostutil {

inline constexpr unsigned char kCarriageReturn = 0x0D;
inline constexpr unsigned char kLineFeed = 0x0A;
inline constexpr unsigned char kEndOfText = 0x1A;
inline constexpr std::size_t kGroupSize = 32;

// What the 32-byte path needs to know of a replacement.
struct GroupRule {
    unsigned char from = 0;
    unsigned char to = 0;
    bool lineEndsKept = false;
    bool fromWrittenAsLineEnd = false;
    bool avx2 = false;
};

// Whether this processor runs the AVX2 path (false where it is not built).
bool processorHasAvx2();

#if REPLACE_IN_GROUPS
// Copies from `start` on, 32 bytes at a time with the from-byte replaced, up
// to the first byte the byte loop must see or until fewer than 32 bytes
// remain, and returns the position reached; `out` advances alike. Whole
// groups are stored: the output has room for two bytes per input byte, so
// bytes stored past the stopping point do no harm. `before` is the byte
// that came before `in[0]`.
std::size_t copyOrdinaryRun(const unsigned char *in, std::size_t start, std::size_t size,
                            unsigned char *&out, const GroupRule &rule, unsigned char before);
#endif

}  // namespace hostutil
