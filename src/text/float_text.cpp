#include "text/float_text.h"

#include <array>
#include <bit>
#include <cstring>

#include "platform/compiler.h"
#include "text/digit_tables.h"
#include "text/float_layout.h"
#include "text/float_tables.h"

// Where SSE2 is there (every x86-64 processor), the 16 digits are formed in one vector register;
// elsewhere in the lanes of two 64-bit words.
// VANTOR_FLOAT_DIGITS_PORTABLE forces the portable path, so that tests can run it here too.
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(VANTOR_FLOAT_DIGITS_PORTABLE)
#define VANTOR_FLOAT_DIGITS_SSE2 1
#include <emmintrin.h>
#endif

namespace vantor::text {

namespace {

using platform::multiply_64x64;
using platform::U128;

// floor(g * cp / 2^128) with its lowest bit set when the quotient is inexact: rounding to odd
// keeps enough information to compare the scaled value with the interval bounds exactly.
inline std::uint64_t round_to_odd(const std::uint64_t (&g)[2], std::uint64_t cp) {
    U128 low = multiply_64x64(g[1], cp);
    U128 high = multiply_64x64(g[0], cp);
    std::uint64_t middle = high.low + low.high;
    std::uint64_t upper = high.high + (middle < high.low ? 1 : 0);
    return upper | (middle != 0 ? 1 : 0);
}

// The digit search is Schubfach (R. Giulietti, "The Schubfach way to render doubles"): the
// interval of decimals that convert back to the value is scaled by one 128-bit power of ten,
// rounded to odd, and at most two candidates are tested: the one with a digit fewer and, failing
// that, the two neighbours at full length, of which the nearer wins (ties to the even one). It
// yields the shortest digits, the nearest of several shortest, in constant time with no loop
// and no big-number arithmetic.
inline DecimalFloat find_shortest_decimal(double magnitude) {
    constexpr std::uint64_t kHiddenBit = std::uint64_t{1} << 52;
    std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
    std::uint64_t fraction = bits & (kHiddenBit - 1);
    auto stored_exponent = static_cast<int>(bits >> 52);

    std::uint64_t c;
    int q;
    if (stored_exponent != 0) {
        c = kHiddenBit | fraction;
        q = stored_exponent - 1075;
        // An integer below 2^53 is its own shortest digit string; the layout drops its zeros.
        if (q <= 0 && q >= -52 && (c & ((std::uint64_t{1} << -q) - 1)) == 0) {
            return {c >> -q, 0};
        }
    } else {
        c = fraction;
        q = -1074;
    }

    // The interval of decimals that read back as the value, in quarters of the binary unit:
    // [cbl, cbr] around cb, bounds included when c is even. At a power of two the spacing
    // below is half the spacing above.
    bool even = (c & 1) == 0;
    bool lower_closer = fraction == 0 && stored_exponent > 1;
    std::uint64_t cb = c << 2;
    std::uint64_t cbl = cb - 2 + (lower_closer ? 1 : 0);
    std::uint64_t cbr = cb + 2;

    int k = lower_closer ? detail::floor_log10_three_quarters_pow2(q) : detail::floor_log10_pow2(q);
    int h = q + detail::floor_log2_pow10(-k) + 1;
    const auto& g = detail::kPow10Significands[-k - detail::kPow10MinExponent];
    std::uint64_t vbl = round_to_odd(g, cbl << h);
    std::uint64_t vb = round_to_odd(g, cb << h);
    std::uint64_t vbr = round_to_odd(g, cbr << h);
    std::uint64_t lower = vbl + (even ? 0 : 1);
    std::uint64_t upper = vbr - (even ? 0 : 1);

    std::uint64_t s = vb >> 2;
    if (s >= 10) {
        // At most one multiple of ten lies in the interval, since it is narrower than 10^(k+1).
        std::uint64_t shorter = s / 10;
        bool shorter_inside = lower <= 40 * shorter;
        bool successor_inside = 40 * shorter + 40 <= upper;
        if (shorter_inside != successor_inside) {
            return {shorter + (successor_inside ? 1 : 0), k + 1};
        }
    }
    bool s_inside = lower <= 4 * s;
    bool successor_inside = 4 * s + 4 <= upper;
    if (s_inside != successor_inside) return {s + (successor_inside ? 1 : 0), k};
    std::uint64_t middle = 4 * s + 2;
    bool round_up = vb > middle || (vb == middle && (s & 1) != 0);
    return {s + (round_up ? 1 : 0), k};
}

// The exponent texts "e-324" to "e+308" of the scientific form, each padded to eight bytes with
// its length in the last byte, so that one fixed-width copy moves any of them.
constexpr int kExponentTextMin = -324;
constexpr int kExponentTextMax = 308;
constexpr auto kExponentTexts = [] {
    std::array<std::array<char, 8>, kExponentTextMax - kExponentTextMin + 1> texts{};
    for (int e = kExponentTextMin; e <= kExponentTextMax; ++e) {
        auto& text = texts[static_cast<std::size_t>(e - kExponentTextMin)];
        int magnitude = e < 0 ? -e : e;
        std::size_t length = 0;
        text[length++] = 'e';
        text[length++] = e < 0 ? '-' : '+';
        if (magnitude >= 100) text[length++] = static_cast<char>('0' + magnitude / 100);
        if (magnitude >= 10) text[length++] = static_cast<char>('0' + magnitude / 10 % 10);
        text[length++] = static_cast<char>('0' + magnitude % 10);
        text[7] = static_cast<char>(length);
    }
    return texts;
}();

using detail::decimal_digit_count;

#if defined(VANTOR_FLOAT_DIGITS_SSE2)

// The digits of `high` and `low` (each below 10^8) as 16 bytes, 0 to 9, in reading order: each
// value is split into halves of four digits, which are spread over four 16-bit lanes each and
// divided there by 1000, 100, 10 and 1 at once (by multiplying with reciprocals), so that
// subtracting ten times each lane's left neighbour leaves one digit per lane.
inline __m128i digit_bytes_16(std::uint32_t high, std::uint32_t low) {
    __m128i values = _mm_set_epi64x(low, high);
    // floor(x / 10^4) = (x * 0xd1b71759) >> 45 for x < 10^8.
    __m128i upper_halves =
        _mm_srli_epi64(_mm_mul_epu32(values, _mm_set1_epi32(static_cast<int>(0xd1b71759u))), 45);
    __m128i lower_halves =
        _mm_sub_epi32(values, _mm_mul_epu32(upper_halves, _mm_set1_epi32(10000)));
    // Four times each half, as the reciprocals below expect, in 16-bit lanes 0 and 1 of each
    // 64-bit lane; then each spread over four lanes.
    __m128i halves =
        _mm_slli_epi64(_mm_or_si128(upper_halves, _mm_slli_epi64(lower_halves, 16)), 2);
    __m128i high_lanes = _mm_unpacklo_epi16(halves, halves);
    high_lanes = _mm_unpacklo_epi32(high_lanes, high_lanes);
    __m128i low_lanes = _mm_unpackhi_epi16(halves, halves);
    low_lanes = _mm_unpacklo_epi32(low_lanes, low_lanes);
    // ((4x * r) >> 16) * 2^s >> 16 = floor(x / 10^(3 - lane % 4)) for x < 10^4.
    const __m128i reciprocals = _mm_set_epi16(-32768, 13108, 5243, 8389, -32768, 13108, 5243, 8389);
    const __m128i shifts =
        _mm_set_epi16(-32768, 1 << 13, 1 << 11, 1 << 7, -32768, 1 << 13, 1 << 11, 1 << 7);
    const __m128i ten = _mm_set1_epi16(10);
    high_lanes = _mm_mulhi_epu16(_mm_mulhi_epu16(high_lanes, reciprocals), shifts);
    low_lanes = _mm_mulhi_epu16(_mm_mulhi_epu16(low_lanes, reciprocals), shifts);
    high_lanes = _mm_sub_epi16(high_lanes, _mm_slli_epi64(_mm_mullo_epi16(high_lanes, ten), 16));
    low_lanes = _mm_sub_epi16(low_lanes, _mm_slli_epi64(_mm_mullo_epi16(low_lanes, ten), 16));
    return _mm_packus_epi16(high_lanes, low_lanes);
}

// Writes the 16 digits of `high` and `low` (each below 10^8) at `out` and returns the number of
// zeros among them at the end, found from the mask of the digits that are not zero.
inline int write_16_digits(std::uint32_t high, std::uint32_t low, char* out) {
    __m128i digits = digit_bytes_16(high, low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_add_epi8(digits, _mm_set1_epi8('0')));
    auto zero_digits =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(digits, _mm_setzero_si128())));
    auto nonzero_digits = static_cast<std::uint16_t>(~zero_digits);
    return std::countl_zero(nonzero_digits);
}

#else

// The eight decimal digits of `value` (below 10^8) as one byte each, 0 to 9, the first digit in
// the lowest byte: the halves of four digits, then of two, then of one are split in all lanes of
// the word at once.
inline std::uint64_t digit_bytes_8(std::uint32_t value) {
    std::uint64_t quads = (value / 10000) | (static_cast<std::uint64_t>(value % 10000) << 32);
    // floor(x / 100) = (x * 10486) >> 20 for x < 10^4; floor(x / 10) = (x * 103) >> 10 for x < 100.
    std::uint64_t hundreds = ((quads * 10486) >> 20) & 0x0000007f0000007fu;
    std::uint64_t pairs = hundreds | ((quads - 100 * hundreds) << 16);
    std::uint64_t tens = ((pairs * 103) >> 10) & 0x000f000f000f000fu;
    return tens | ((pairs - 10 * tens) << 8);
}

// Stores the eight bytes of `word` at `out`, the lowest byte first.
inline void store_word(std::uint64_t word, char* out) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &word, 8);
    } else {
        for (int i = 0; i < 8; ++i)
            out[i] = static_cast<char>(word >> (8 * i));
    }
}

inline int write_16_digits(std::uint32_t high, std::uint32_t low, char* out) {
    constexpr std::uint64_t kAsciiZeros = 0x3030303030303030u;
    std::uint64_t high_digits = digit_bytes_8(high);
    std::uint64_t low_digits = digit_bytes_8(low);
    store_word(high_digits + kAsciiZeros, out);
    store_word(low_digits + kAsciiZeros, out + 8);
    // The last digit is the highest byte of a word.
    if (low_digits != 0) return std::countl_zero(low_digits) / 8;
    return 8 + std::countl_zero(high_digits) / 8;
}

#endif

// Writes `value` (below 10^17) as exactly 17 digits, leading zeros included, in the same few
// steps whatever its length (the caller starts the text at the first significant digit), and
// returns the number of zeros at its end (at most 16, as the value is not zero).
inline int write_17_digits(std::uint64_t value, char* out) {
    // One 64-bit division; the upper nine digits are split in 32 bits.
    auto upper = static_cast<std::uint32_t>(value / 100000000u);
    auto lower = static_cast<std::uint32_t>(value % 100000000u);
    std::uint32_t first = upper / 100000000u;
    out[0] = static_cast<char>('0' + first);
    return write_16_digits(upper - first * 100000000u, lower, out + 1);
}

}  // namespace

std::size_t format_float_text(double value, char* out) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    if ((bits & 0x7ff0000000000000u) == 0x7ff0000000000000u) {
        std::memcpy(out, "null", 4);
        return 4;
    }
    bool negative = (bits >> 63) != 0;
    bits &= ~(std::uint64_t{1} << 63);
    if (bits == 0) {
        char* p = out;
        if (negative) *p++ = '-';
        std::memcpy(p, "0.0", 3);
        return static_cast<std::size_t>(p + 3 - out);
    }
    return format_decimal_text(negative, find_shortest_decimal(std::bit_cast<double>(bits)), out);
}

std::size_t format_decimal_text(bool negative, DecimalFloat decimal, char* out) {
    char* p = out;
    if (negative) *p++ = '-';

    // The digits, followed by zeros that the positional form may need; trailing zeros of the
    // significand are then dropped from the count. A significand of 17 or fewer digits is the
    // only kind the digit search returns. `point` is the exponent of the first digit.
    char padded[17 + 32];
    std::memset(padded + 17, '0', 32);
    int trailing_zeros = write_17_digits(decimal.significand, padded);
    int count = decimal_digit_count(decimal.significand);
    const char* digits = padded + 17 - count;
    int point = decimal.exponent + count - 1;
    count -= trailing_zeros;

    if (point >= 0 && point <= kPositionalExponentMax) {
        // One sixteen-byte copy holds every integer part of the positional form.
        static_assert(kPositionalExponentMax + 1 <= 16);
        std::memcpy(p, digits, 16);
        p[point + 1] = '.';
        if (count <= point + 1) {
            p[point + 2] = '0';
            return static_cast<std::size_t>(p + point + 3 - out);
        }
        std::memcpy(p + point + 2, digits + point + 1, 16);
        return static_cast<std::size_t>(p + count + 1 - out);
    }
    if (point < 0 && point >= kPositionalExponentMin) {
        // "0." and -point - 1 zeros, then the digits; one eight-byte copy holds the most zeros.
        static_assert(2 + (-kPositionalExponentMin - 1) <= 8);
        std::memcpy(p, "0.000000", 8);
        std::memcpy(p + 1 - point, digits, 17);
        return static_cast<std::size_t>(p + 1 - point + count - out);
    }
    p[0] = digits[0];
    p[1] = '.';
    std::memcpy(p + 2, digits + 1, 16);
    p += count == 1 ? 1 : count + 1;
    const auto& exponent = kExponentTexts[static_cast<std::size_t>(point - kExponentTextMin)];
    std::memcpy(p, exponent.data(), 8);
    return static_cast<std::size_t>(p + exponent[7] - out);
}

}  // namespace vantor::text
