#include "replchar_kernels.h"

#include <bit>

#if REPLACE_WITH_AVX2
#include <immintrin.h>
#elif REPLACE_IN_GROUPS
#include <emmintrin.h>
#endif

namespace hostutil {

bool processorHasAvx2() {
#if REPLACE_WITH_AVX2
    __builtin_cpu_init();  // harmless when done, needed if called during loading
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

#if REPLACE_IN_GROUPS
namespace {

// Of a group of 32 bytes (bit k for byte k), those the byte loop must see.
uint32_t lanesForByteLoop(const GroupRule &rule, uint32_t carriageReturns, uint32_t lineFeeds,
                          uint32_t endsOfText, uint32_t froms, bool afterCarriageReturn) {
    if (!rule.lineEndsKept) return carriageReturns | lineFeeds | endsOfText;
    const uint32_t special = lineFeeds | endsOfText | (rule.fromWrittenAsLineEnd ? froms : 0);
    const uint32_t pairedLineFeeds =
        lineFeeds & (carriageReturns << 1 | (afterCarriageReturn ? 1u : 0u));
    return special & ~pairedLineFeeds;
}

std::size_t copyOrdinaryRunSse2(const unsigned char *in, std::size_t start, std::size_t size,
                                unsigned char *&out, const GroupRule &rule, unsigned char before) {
    const __m128i from = _mm_set1_epi8(static_cast<char>(rule.from));
    const __m128i flip = _mm_set1_epi8(static_cast<char>(rule.from ^ rule.to));
    const __m128i carriageReturn = _mm_set1_epi8(kCarriageReturn);
    const __m128i lineFeed = _mm_set1_epi8(kLineFeed);
    const __m128i endOfText = _mm_set1_epi8(kEndOfText);
    auto lanes = [](__m128i low, __m128i high, __m128i byte) {
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, byte))) |
               static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, byte))) << 16;
    };
    std::size_t i = start;
    for (; i + kGroupSize <= size; i += kGroupSize, out += kGroupSize) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i + 16));
        const __m128i lowFrom = _mm_cmpeq_epi8(low, from);
        const __m128i highFrom = _mm_cmpeq_epi8(high, from);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                         _mm_xor_si128(low, _mm_and_si128(lowFrom, flip)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16),
                         _mm_xor_si128(high, _mm_and_si128(highFrom, flip)));
        const uint32_t froms = static_cast<uint32_t>(_mm_movemask_epi8(lowFrom)) |
                               static_cast<uint32_t>(_mm_movemask_epi8(highFrom)) << 16;
        const uint32_t special = lanesForByteLoop(
            rule, lanes(low, high, carriageReturn), lanes(low, high, lineFeed),
            lanes(low, high, endOfText), froms, (i > 0 ? in[i - 1] : before) == kCarriageReturn);
        if (special != 0) {
            const auto ordinary = static_cast<std::size_t>(std::countr_zero(special));
            out += ordinary;
            return i + ordinary;
        }
    }
    return i;
}

#if REPLACE_WITH_AVX2
__attribute__((target("avx2"))) std::size_t copyOrdinaryRunAvx2(const unsigned char *in,
                                                                std::size_t start, std::size_t size,
                                                                unsigned char *&out,
                                                                const GroupRule &rule,
                                                                unsigned char before) {
    const __m256i from = _mm256_set1_epi8(static_cast<char>(rule.from));
    const __m256i flip = _mm256_set1_epi8(static_cast<char>(rule.from ^ rule.to));
    const __m256i carriageReturn = _mm256_set1_epi8(kCarriageReturn);
    const __m256i lineFeed = _mm256_set1_epi8(kLineFeed);
    const __m256i endOfText = _mm256_set1_epi8(kEndOfText);
    auto lanes = [](__m256i bytes, __m256i byte) __attribute__((target("avx2"))) {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, byte)));
    };
    std::size_t i = start;
    for (; i + kGroupSize <= size; i += kGroupSize, out += kGroupSize) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i));
        const __m256i isFrom = _mm256_cmpeq_epi8(bytes, from);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out),
                            _mm256_xor_si256(bytes, _mm256_and_si256(isFrom, flip)));
        const uint32_t special = lanesForByteLoop(
            rule, lanes(bytes, carriageReturn), lanes(bytes, lineFeed), lanes(bytes, endOfText),
            static_cast<uint32_t>(_mm256_movemask_epi8(isFrom)),
            (i > 0 ? in[i - 1] : before) == kCarriageReturn);
        if (special != 0) {
            const auto ordinary = static_cast<std::size_t>(std::countr_zero(special));
            out += ordinary;
            return i + ordinary;
        }
    }
    return i;
}
#endif

}  // namespace

std::size_t copyOrdinaryRun(const unsigned char *in, std::size_t start, std::size_t size,
                            unsigned char *&out, const GroupRule &rule, unsigned char before) {
#if REPLACE_WITH_AVX2
    if (rule.avx2) return copyOrdinaryRunAvx2(in, start, size, out, rule, before);
#endif
    return copyOrdinaryRunSse2(in, start, size, out, rule, before);
}
#endif

}  // namespace hostutil
