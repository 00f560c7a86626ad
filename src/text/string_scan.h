#pragma once
// Finding where a string's plain text stops: at the first quote, backslash or control byte, and
// for the exact reader's plain runs also at the first non-ASCII byte. Sixteen bytes per step with
// SSE2 (the x86-64 baseline, Windows x64 included) or Advanced SIMD (the aarch64 baseline), eight
// with word arithmetic elsewhere; the portable path is a function of its own, so that the tests
// compare the two on every machine that has both.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VANTOR_STRING_SCAN_SSE2 1
#elif defined(__aarch64__) || defined(_M_ARM64)
#include <arm_neon.h>
#define VANTOR_STRING_SCAN_NEON 1
#endif

namespace vantor::text {

namespace string_scan_detail {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// The two scans differ only in what stops them. Every string scan stops at a quote, a backslash
// and a control byte; the plain-run scan also stops at every byte from 0x80 up, whose UTF-8 the
// exact reader checks sequence by sequence. In text already known to be well-formed UTF-8
// (text/utf8_check.h) the string-stop scan lets those bytes through.
enum class Stops { string, plain_run };

template <Stops kStops>
inline bool stops(unsigned char c) {
    return c < 0x20 || c == '"' || c == '\\' || (kStops == Stops::plain_run && c >= 0x80);
}

// High bit set in each byte of `word` that stops the scan; on little-endian machines the lowest
// set bit marks the first such byte exactly (bits above it may be spurious, which does not
// matter).
template <Stops kStops>
inline std::uint64_t stop_mask(std::uint64_t word) {
    std::uint64_t quote = word ^ (kOnes * '"');
    std::uint64_t backslash = word ^ (kOnes * '\\');
    std::uint64_t control = (word - kOnes * 0x20) & ~word;
    std::uint64_t has_quote = (quote - kOnes) & ~quote;
    std::uint64_t has_backslash = (backslash - kOnes) & ~backslash;
    std::uint64_t mask = control | has_quote | has_backslash;
    if constexpr (kStops == Stops::plain_run) mask |= word;
    return mask & kHighBits;
}

#if defined(VANTOR_STRING_SCAN_SSE2)
// One bit for each of the sixteen bytes, set where the byte stops the scan.
template <Stops kStops>
inline unsigned stop_bits(__m128i bytes) {
    // Plain runs: a signed comparison with 0x20 catches the control bytes and, as negative
    // values, every byte from 0x80 up. Strings: unsigned below 0x20, where the byte equals its
    // minimum with 0x1f.
    const __m128i low = kStops == Stops::plain_run
                            ? _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20))
                            : _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(0x1f)), bytes);
    const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))),
                                         low);
    return static_cast<unsigned>(_mm_movemask_epi8(special));
}
#elif defined(VANTOR_STRING_SCAN_NEON)
// Four bits for each of the sixteen bytes at `p`, all set where the byte stops the scan, the
// first byte in the lowest bits. Advanced SIMD has no byte mask like SSE2's movemask: narrowing
// each 16-bit lane by a shift of four keeps half of each byte's comparison result instead.
template <Stops kStops>
inline std::uint64_t stop_nibbles(const unsigned char* p) {
    uint8x16_t bytes = vld1q_u8(p);
    // Plain runs: a signed comparison with 0x20 catches the control bytes and, as negative
    // values, every byte from 0x80 up.
    uint8x16_t low = kStops == Stops::plain_run
                         ? vcltq_s8(vreinterpretq_s8_u8(bytes), vdupq_n_s8(0x20))
                         : vcltq_u8(bytes, vdupq_n_u8(0x20));
    uint8x16_t special = vorrq_u8(
        vorrq_u8(vceqq_u8(bytes, vdupq_n_u8('"')), vceqq_u8(bytes, vdupq_n_u8('\\'))), low);
    uint8x8_t nibbles = vshrn_n_u16(vreinterpretq_u16_u8(special), 4);
    return vget_lane_u64(vreinterpret_u64_u8(nibbles), 0);
}
#endif

// The first byte at or after `p` that stops the scan, or `end`: eight bytes per step.
template <Stops kStops>
inline const unsigned char* find_stop_portable(const unsigned char* p, const unsigned char* end) {
    if constexpr (std::endian::native == std::endian::little) {
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            std::uint64_t mask = stop_mask<kStops>(word);
            if (mask != 0) return p + (std::countr_zero(mask) >> 3);
            p += 8;
        }
    }
    while (p < end && !stops<kStops>(*p))
        ++p;
    return p;
}

// The same, sixteen bytes per step where SSE2 or Advanced SIMD is available.
template <Stops kStops>
inline const unsigned char* find_stop(const unsigned char* p, const unsigned char* end) {
#if defined(VANTOR_STRING_SCAN_SSE2)
    while (end - p >= 16) {
        unsigned mask = stop_bits<kStops>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        if (mask != 0) return p + std::countr_zero(mask);
        p += 16;
    }
#elif defined(VANTOR_STRING_SCAN_NEON)
    while (end - p >= 16) {
        std::uint64_t nibbles = stop_nibbles<kStops>(p);
        if (nibbles != 0) return p + (std::countr_zero(nibbles) >> 2);
        p += 16;
    }
#endif
    return find_stop_portable<kStops>(p, end);
}

}  // namespace string_scan_detail

// The first byte at or after `p` that ends a plain run (a quote, a backslash, a control byte or
// a byte from 0x80 up), or `end`; sixteen bytes per step with SSE2 or Advanced SIMD, eight in the
// portable form.
inline const unsigned char* find_run_end(const unsigned char* p, const unsigned char* end) {
    return string_scan_detail::find_stop<string_scan_detail::Stops::plain_run>(p, end);
}
inline const unsigned char* find_run_end_portable(const unsigned char* p,
                                                  const unsigned char* end) {
    return string_scan_detail::find_stop_portable<string_scan_detail::Stops::plain_run>(p, end);
}

// The first quote, backslash or control byte at or after `p`, or `end`, in well-formed UTF-8.
inline const unsigned char* find_string_stop(const unsigned char* p, const unsigned char* end) {
    return string_scan_detail::find_stop<string_scan_detail::Stops::string>(p, end);
}
inline const unsigned char* find_string_stop_portable(const unsigned char* p,
                                                      const unsigned char* end) {
    return string_scan_detail::find_stop_portable<string_scan_detail::Stops::string>(p, end);
}

// The index of the first quote, backslash or control byte among the sixteen at `p` (all
// readable), or 16 when there is none.
inline unsigned first_string_stop_16(const unsigned char* p) {
#if defined(VANTOR_STRING_SCAN_SSE2)
    return static_cast<unsigned>(
        std::countr_zero(string_scan_detail::stop_bits<string_scan_detail::Stops::string>(
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p))) |
                         0x10000u));
#elif defined(VANTOR_STRING_SCAN_NEON)
    return static_cast<unsigned>(
        std::countr_zero(string_scan_detail::stop_nibbles<string_scan_detail::Stops::string>(p)) >>
        2);
#else
    return static_cast<unsigned>(find_string_stop_portable(p, p + 16) - p);
#endif
}

// The length of the well-formed UTF-8 sequence (RFC 3629) starting with the non-ASCII byte at
// `p`, or 0 when it is not well-formed: no overlong forms, no surrogates, nothing above U+10FFFF.
inline std::size_t utf8_sequence_length(const unsigned char* p, const unsigned char* end) {
    unsigned char lead = p[0];
    std::ptrdiff_t left = end - p;
    auto continuation = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    if (lead < 0xC2) return 0;
    if (lead < 0xE0) return left >= 2 && continuation(p[1]) ? 2 : 0;
    if (lead < 0xF0) {
        if (left < 3) return 0;
        unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        return p[1] >= low && p[1] <= high && continuation(p[2]) ? 3 : 0;
    }
    if (lead < 0xF5) {
        if (left < 4) return 0;
        unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        return p[1] >= low && p[1] <= high && continuation(p[2]) && continuation(p[3]) ? 4 : 0;
    }
    return 0;
}

// Skips string content that needs no decoding, from `p`: plain runs and well-formed UTF-8
// sequences. Returns the first quote, backslash, control byte or byte of ill-formed UTF-8, or
// `end`.
inline const unsigned char* skip_string_text(const unsigned char* p, const unsigned char* end) {
    for (;;) {
        p = find_run_end(p, end);
        if (p == end || *p < 0x80) return p;
        std::size_t length = utf8_sequence_length(p, end);
        if (length == 0) return p;
        p += length;
    }
}

}  // namespace vantor::text
