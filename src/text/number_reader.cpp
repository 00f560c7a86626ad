#include "text/number_reader.h"

#include <cmath>
#include <limits>

#include "text/number_scan.h"
#include "text/powers_of_ten.h"

namespace vantor::text {

namespace {

constexpr std::uint64_t kMaxSignificand = std::numeric_limits<std::uint64_t>::max();
constexpr std::int32_t kMaxExponentDigits = std::numeric_limits<std::int32_t>::max();

// A digit "fits" while the significand times ten plus the digit stays within 64 bits, that is
// below 1844674407370955161 any digit fits, and at it only digits up to 5 do.
inline bool digit_fits(std::uint64_t significand, unsigned digit) {
    constexpr std::uint64_t kLastFull = kMaxSignificand / 10;
    return significand < kLastFull || (significand == kLastFull && digit <= kMaxSignificand % 10);
}

inline std::int32_t saturate_to_int32(std::int64_t value) {
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

inline bool fail(ReadError& error, ReadErrorCode code, const unsigned char* input_begin,
                 const unsigned char* at) {
    error = {code, static_cast<std::size_t>(at - input_begin)};
    return false;
}

}  // namespace

bool decimal_to_binary64(std::uint64_t significand, std::int32_t exponent, double& out) {
    double value = static_cast<double>(significand);
    std::int64_t e = exponent;
    for (;;) {
        std::uint64_t k = e < 0 ? static_cast<std::uint64_t>(-e) : static_cast<std::uint64_t>(e);
        if (k <= static_cast<std::uint64_t>(kMaxPowerOfTen)) {
            if (e >= 0) {
                value *= kPowersOfTen[k];
                if (std::isinf(value)) return false;
            } else {
                value /= kPowersOfTen[k];
            }
            break;
        }
        if (value == 0.0) break;
        if (e >= 0) return false;
        value /= kPowersOfTen[kMaxPowerOfTen];
        e += kMaxPowerOfTen;
    }
    out = value;
    return true;
}

bool read_number(const unsigned char* input_begin, const unsigned char*& cursor,
                 const unsigned char* end, JsonNumber& out, ReadError& error) {
    const NumberToken token = scan_number(cursor, end);
    switch (token.number_class) {
        case NumberClass::refused:
            // Where the input ends a digit was still due; elsewhere a byte broke the token.
            if (token.end == end) return fail(error, ReadErrorCode::eof_value, input_begin, end);
            return fail(error, ReadErrorCode::invalid_number, input_begin, token.end + 1);
        case NumberClass::integer:
            cursor = token.end;
            out = integer_token_value(token);
            return true;
        case NumberClass::negative_zero:
            cursor = token.end;
            out = JsonNumber::from_float(-0.0);
            return true;
        case NumberClass::integer_beyond_64_bits:
        case NumberClass::fraction_or_exponent:
            break;
    }

    std::uint64_t significand = 0;
    // Digits dropped from the integer part raise the exponent; appended fraction digits lower it.
    // Kept in 64 bits while digits are counted, then saturated to 32 bits.
    std::int64_t exponent = 0;
    // Once any digit has been dropped, every later digit is dropped too: appending a later digit
    // that happens to fit would put it at the wrong decimal place.
    bool dropped = false;

    // Up to 19 digits always fit, so the common case needs no fit test.
    const unsigned char* p = token.integer;
    const unsigned char* fast_end = token.integer_digits() > 19 ? p + 19 : token.integer_end;
    significand = append_digits(0, p, fast_end);
    for (p = fast_end; p != token.integer_end; ++p) {
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (!dropped && digit_fits(significand, digit)) {
            significand = significand * 10 + digit;
        } else {
            dropped = true;
            ++exponent;
        }
    }
    for (p = token.fraction; p != token.fraction_end; ++p) {
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (!dropped && digit_fits(significand, digit)) {
            significand = significand * 10 + digit;
            --exponent;
        } else {
            dropped = true;
        }
    }

    if (token.has_exponent()) {
        std::int32_t written = 0;
        for (p = token.exponent; p != token.exponent_end;) {
            std::int32_t digit = *p - '0';
            ++p;
            if (written > (kMaxExponentDigits - digit) / 10) {
                // An exponent beyond 32 bits: a positive one overflows any non-zero value, a
                // negative one leaves zero.
                if (!token.exponent_negative && significand != 0) {
                    return fail(error, ReadErrorCode::number_out_of_range, input_begin, p);
                }
                cursor = token.end;
                out = JsonNumber::from_float(token.negative ? -0.0 : 0.0);
                return true;
            }
            written = written * 10 + digit;
        }
        std::int64_t base = saturate_to_int32(exponent);
        exponent = token.exponent_negative ? base - written : base + written;
    }

    double value = 0.0;
    if (!decimal_to_binary64(significand, saturate_to_int32(exponent), value)) {
        return fail(error, ReadErrorCode::number_out_of_range, input_begin, token.end);
    }
    cursor = token.end;
    out = JsonNumber::from_float(token.negative ? -value : value);
    return true;
}

}  // namespace vantor::text
