#pragma once
// The number grammar, written once: a scan of one number token that finds its parts (sign,
// integer digits, fraction digits, exponent) and its class, without forming a value. Both readers
// and the tape comparison use it. Inline throughout: the tape reader scans every number of a
// payload with it, and the scan of a short integer is a handful of instructions once inlined.
//
// A token is `-`? then `0` or a digit run not starting with `0`, then optionally `.` and a digit
// run, then optionally `e` or `E`, an optional sign and a digit run. The scan takes the longest
// such token and refuses only where a byte commits the token to a part that does not follow: a
// `-` without a digit, a digit after a leading `0`, a `.` or an exponent mark without a digit.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/compiler.h"
#include "text/byte_classes.h"
#include "text/json_number.h"

namespace vantor::text {

// How the readers hold a number token.
enum class NumberClass : std::uint8_t {
    refused,                 // not a number token
    integer,                 // no fraction, no exponent, and its value fits an integer class
    negative_zero,           // "-0": held as a binary64 negative zero, as integers have no -0
    integer_beyond_64_bits,  // no fraction, no exponent, too large for either integer class
    fraction_or_exponent,    // a binary64 value
};

// The parts of a scanned token. Digit runs are [begin, end) ranges in the input; a part that is
// absent is an empty range at the place it would start.
struct NumberToken {
    NumberClass number_class = NumberClass::refused;
    bool negative = false;
    bool exponent_negative = false;
    const unsigned char* integer = nullptr;  // the integer part's digits, without the sign
    const unsigned char* integer_end = nullptr;
    const unsigned char* fraction = nullptr;  // the digits after the point
    const unsigned char* fraction_end = nullptr;
    const unsigned char* exponent = nullptr;  // the exponent's digits, without mark and sign
    const unsigned char* exponent_end = nullptr;
    // Past the token; for a refused token, the byte that refused it, or the input's end when a
    // digit was still due there.
    const unsigned char* end = nullptr;
    // The exponent's digits as a number, valid while they are at most
    // kExactExponentDigits digits (longer runs wrap around).
    std::uint32_t exponent_magnitude = 0;

    bool has_fraction() const { return fraction != fraction_end; }
    bool has_exponent() const { return exponent != exponent_end; }
    bool integer_is_zero() const { return *integer == '0'; }
    std::size_t integer_digits() const { return static_cast<std::size_t>(integer_end - integer); }
    std::size_t fraction_digits() const {
        return static_cast<std::size_t>(fraction_end - fraction);
    }
    std::size_t exponent_digits() const {
        return static_cast<std::size_t>(exponent_end - exponent);
    }
};

// Exponent runs of up to this many digits have an exact `exponent_magnitude`.
inline constexpr std::size_t kExactExponentDigits = 9;

namespace number_scan_detail {

// The largest magnitudes of the integer classes, as digits: UINT64_MAX, and 2^63 for INT64_MIN.
inline constexpr char kUnsignedMaxDigits[] = "18446744073709551615";
inline constexpr char kSignedMinMagnitudeDigits[] = "9223372036854775808";
inline constexpr std::size_t kUnsignedMaxSize = sizeof kUnsignedMaxDigits - 1;
inline constexpr std::size_t kSignedMinMagnitudeSize = sizeof kSignedMinMagnitudeDigits - 1;

// Whether digits without leading zeros, as a magnitude, fit the unsigned class (no sign) or the
// signed one (a sign): fewer digits than the limit always fit, as many fit up to the limit.
// Out of line: only integers of 19 digits or more come here.
[[gnu::noinline]] inline bool magnitude_fits(bool negative, const unsigned char* digits,
                                             std::size_t count) {
    const char* limit = negative ? kSignedMinMagnitudeDigits : kUnsignedMaxDigits;
    std::size_t limit_size = negative ? kSignedMinMagnitudeSize : kUnsignedMaxSize;
    if (count != limit_size) return count < limit_size;
    return std::memcmp(digits, limit, count) <= 0;
}

}  // namespace number_scan_detail

// The first byte at or after `p` that is not a digit, eight bytes per step: a byte is a digit
// when, xor '0', it is below 10, so adding 0x76 leaves its high bit clear. kPadded: `end` is
// followed by padding that is not digits (text/padded_text.h), so the steps need no bound.
template <bool kPadded = false>
[[gnu::always_inline]] inline const unsigned char* skip_digits(const unsigned char* p,
                                                               const unsigned char* end) {
    if constexpr (std::endian::native == std::endian::little) {
        while (kPadded || end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            std::uint64_t x = word ^ 0x3030303030303030u;
            std::uint64_t stop = ((x + 0x7676767676767676u) | x) & 0x8080808080808080u;
            if (stop != 0) return p + (std::countr_zero(stop) >> 3);
            p += 8;
        }
    }
    while (p != end && is_digit(*p))
        ++p;
    return p;
}

// `value` followed by the digits [p, end) as decimal digits; the caller knows they fit.
[[gnu::always_inline]] inline std::uint64_t append_digits(std::uint64_t value,
                                                          const unsigned char* p,
                                                          const unsigned char* end) {
    for (; p != end; ++p)
        value = value * 10 + static_cast<unsigned>(*p - '0');
    return value;
}

// Scans the number token at `p`, which must be before `end`, and returns what `take` makes of
// it. `take` is called once, with the token, at the place where the scan has settled its class:
// inlined there, the caller's own test of the class folds away, as if the scan were written into
// the caller (the tape reader's loop). kPadded: `end` is followed by padding that no number holds
// (text/padded_text.h), so the scan stops there without testing for the end.
template <bool kPadded = false, class Take>
[[gnu::always_inline]] inline auto scan_number(const unsigned char* p, const unsigned char* end,
                                               Take&& take) {
    auto more = [end](const unsigned char* at)
                    VANTOR_LAMBDA_ALWAYS_INLINE { return kPadded || at != end; };
    NumberToken token;
    auto refuse = [&](const unsigned char* at) VANTOR_LAMBDA_ALWAYS_INLINE {
        token.number_class = NumberClass::refused;
        token.end = at;
        return take(token);
    };
    if (*p == '-') {
        token.negative = true;
        ++p;
        if (!more(p) || !is_digit(*p)) [[unlikely]]
            return refuse(p);
    } else if (!is_digit(*p)) [[unlikely]] {
        return refuse(p);
    }
    token.integer = p;
    const bool integer_zero = *p == '0';
    if (integer_zero) {
        ++p;
        if (more(p) && is_digit(*p)) [[unlikely]]
            return refuse(p);
    } else {
        p = skip_digits<kPadded>(p, end);
    }
    token.integer_end = p;
    token.fraction = p;
    token.fraction_end = p;
    if (more(p) && *p == '.') {
        ++p;
        token.fraction = p;
        p = skip_digits<kPadded>(p, end);
        if (p == token.fraction) [[unlikely]]
            return refuse(p);
        token.fraction_end = p;
    }
    token.exponent = p;
    token.exponent_end = p;
    if (more(p) && (*p | 0x20) == 'e') {
        ++p;
        if (more(p) && (*p == '+' || *p == '-')) {
            token.exponent_negative = *p == '-';
            ++p;
        }
        if (!more(p) || !is_digit(*p)) [[unlikely]]
            return refuse(p);
        token.exponent = p;
        std::uint32_t magnitude = 0;
        do {
            magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
            ++p;
        } while (more(p) && is_digit(*p));
        token.exponent_end = p;
        token.exponent_magnitude = magnitude;
        token.number_class = NumberClass::fraction_or_exponent;
        token.end = p;
        return take(token);
    }
    token.end = p;
    if (token.has_fraction()) {
        token.number_class = NumberClass::fraction_or_exponent;
        return take(token);
    }
    // Fewer digits than the signed class's limit fit either integer class.
    if (token.integer_digits() < number_scan_detail::kSignedMinMagnitudeSize) [[likely]] {
        token.number_class =
            integer_zero && token.negative ? NumberClass::negative_zero : NumberClass::integer;
        return take(token);
    }
    token.number_class =
        number_scan_detail::magnitude_fits(token.negative, token.integer, token.integer_digits())
            ? NumberClass::integer
            : NumberClass::integer_beyond_64_bits;
    return take(token);
}

// The token at `p`, which must be before `end`.
[[gnu::always_inline]] inline NumberToken scan_number(const unsigned char* p,
                                                      const unsigned char* end) {
    return scan_number(p, end, [](const NumberToken& token) { return token; });
}

// The value of a token of class `integer`; INT64_MIN's magnitude, 2^63, becomes INT64_MIN.
[[gnu::always_inline]] inline JsonNumber integer_token_value(const NumberToken& token) {
    std::uint64_t magnitude = append_digits(0, token.integer, token.integer_end);
    if (!token.negative) return JsonNumber::from_unsigned(magnitude);
    return JsonNumber::from_signed(static_cast<std::int64_t>(~magnitude + 1));
}

}  // namespace vantor::text
