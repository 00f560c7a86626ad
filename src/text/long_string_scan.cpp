#include "text/long_string_scan.h"

#include <bit>
#include <cstdint>

#include "text/cpu_features.h"
#include "text/string_scan.h"

#if defined(VANTOR_X86_KERNELS)
#include <immintrin.h>
#define VANTOR_LONG_STRING_SCAN_X86 1
#endif

namespace vantor::text {

namespace {

#if defined(VANTOR_LONG_STRING_SCAN_X86)
// A byte stops the scan when it is a quote or a backslash, or below 0x20: unsigned, where it
// equals its minimum with 0x1f. What is left after the last whole step goes to the baseline scan.
[[gnu::target("avx2")]] const unsigned char* find_stop_avx2(const unsigned char* p,
                                                            const unsigned char* end) {
    const __m256i quote = _mm256_set1_epi8('"');
    const __m256i backslash = _mm256_set1_epi8('\\');
    const __m256i below_space = _mm256_set1_epi8(0x1f);
    while (end - p >= 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i control = _mm256_cmpeq_epi8(_mm256_min_epu8(bytes, below_space), bytes);
        const __m256i stops = _mm256_or_si256(
            _mm256_or_si256(_mm256_cmpeq_epi8(bytes, quote), _mm256_cmpeq_epi8(bytes, backslash)),
            control);
        const auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(stops));
        if (mask != 0) return p + std::countr_zero(mask);
        p += 32;
    }
    return find_string_stop(p, end);
}

[[gnu::target("avx512f,avx512bw")]] const unsigned char* find_stop_avx512(
    const unsigned char* p, const unsigned char* end) {
    const __m512i quote = _mm512_set1_epi8('"');
    const __m512i backslash = _mm512_set1_epi8('\\');
    const __m512i space = _mm512_set1_epi8(0x20);
    while (end - p >= 64) {
        const __m512i bytes = _mm512_loadu_si512(p);
        const __mmask64 mask = _mm512_cmpeq_epi8_mask(bytes, quote) |
                               _mm512_cmpeq_epi8_mask(bytes, backslash) |
                               _mm512_cmplt_epu8_mask(bytes, space);
        if (mask != 0) return p + std::countr_zero(static_cast<std::uint64_t>(mask));
        p += 64;
    }
    return find_string_stop(p, end);
}
#endif

}  // namespace

bool string_stop_kernel_available(StringStopKernel kernel) {
    switch (kernel) {
        case StringStopKernel::baseline:
            return true;
        case StringStopKernel::avx2:
            return cpu_has_avx2();
        case StringStopKernel::avx512:
            return cpu_has_avx512bw();
    }
    return false;
}

StringStopKernel best_string_stop_kernel() {
    // AVX2 before AVX-512: where the reader calls the scan, on the AMD EPYC (AVX-512) machines we
    // measure on, AVX-512 gains 7 % on long texts but loses a fifth on texts of a few dozen bytes
    // (bench/cpp/string_stop_bench.cpp).
    if (string_stop_kernel_available(StringStopKernel::avx2)) return StringStopKernel::avx2;
    if (string_stop_kernel_available(StringStopKernel::avx512)) return StringStopKernel::avx512;
    return StringStopKernel::baseline;
}

const unsigned char* find_string_stop(const unsigned char* p, const unsigned char* end,
                                      StringStopKernel kernel) {
    switch (kernel) {
#if defined(VANTOR_LONG_STRING_SCAN_X86)
        case StringStopKernel::avx512:
            return find_stop_avx512(p, end);
        case StringStopKernel::avx2:
            return find_stop_avx2(p, end);
#endif
        default:
            return find_string_stop(p, end);
    }
}

}  // namespace vantor::text
