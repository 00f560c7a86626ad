#pragma once
// Finding the end of a run of JSON whitespace (space, tab, line feed, carriage return): sixteen
// bytes per step with SSE2 or Advanced SIMD, eight with word arithmetic elsewhere. Compact
// payloads rarely have a run at all; indented ones have one before nearly every member, a line
// feed and the indentation, which a byte-by-byte loop would walk a byte at a time.
#include <bit>
#include <cstdint>
#include <cstring>

#include "text/byte_classes.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VANTOR_WHITESPACE_SCAN_SSE2 1
#elif defined(__aarch64__) || defined(_M_ARM64)
#include <arm_neon.h>
#define VANTOR_WHITESPACE_SCAN_NEON 1
#endif

namespace vantor::text {

// The first byte at or after `p` that is not whitespace, or `end`: a word of eight bytes per step.
inline const unsigned char* skip_whitespace_run_portable(const unsigned char* p,
                                                         const unsigned char* end) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
        constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
        constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
        // High bit set in exactly the zero bytes (no borrow between bytes).
        auto zero_bytes = [](std::uint64_t w) { return ~(((w & kLow7) + kLow7) | w) & kHighBits; };
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            const std::uint64_t whitespace =
                zero_bytes(word ^ (kOnes * ' ')) | zero_bytes(word ^ (kOnes * '\n')) |
                zero_bytes(word ^ (kOnes * '\t')) | zero_bytes(word ^ (kOnes * '\r'));
            const std::uint64_t other = ~whitespace & kHighBits;
            if (other != 0) return p + (std::countr_zero(other) >> 3);
            p += 8;
        }
    }
    while (p != end && kWhitespace[*p])
        ++p;
    return p;
}

// The same, sixteen bytes per step where SSE2 or Advanced SIMD is available.
inline const unsigned char* skip_whitespace_run(const unsigned char* p, const unsigned char* end) {
#if defined(VANTOR_WHITESPACE_SCAN_SSE2)
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i whitespace =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
                         _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')),
                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r'))));
        const auto other = static_cast<unsigned>(_mm_movemask_epi8(whitespace)) ^ 0xffffu;
        if (other != 0) return p + std::countr_zero(other);
        p += 16;
    }
#elif defined(VANTOR_WHITESPACE_SCAN_NEON)
    while (end - p >= 16) {
        const uint8x16_t bytes = vld1q_u8(p);
        const uint8x16_t whitespace = vorrq_u8(
            vorrq_u8(vceqq_u8(bytes, vdupq_n_u8(' ')), vceqq_u8(bytes, vdupq_n_u8('\n'))),
            vorrq_u8(vceqq_u8(bytes, vdupq_n_u8('\t')), vceqq_u8(bytes, vdupq_n_u8('\r'))));
        // Four bits per byte, set where the byte is not whitespace.
        const std::uint64_t other = ~vget_lane_u64(
            vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(whitespace), 4)), 0);
        if (other != 0) return p + (std::countr_zero(other) >> 2);
        p += 16;
    }
#endif
    return skip_whitespace_run_portable(p, end);
}

}  // namespace vantor::text
