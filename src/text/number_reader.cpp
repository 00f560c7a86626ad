#include "text/number_reader.h"

#include <cmath>
#include <limits>

#include "text/byte_classes.h"
#include "text/powers_of_ten.h"

namespace vantor::json {

namespace {

constexpr std::uint64_t kMaxSignificand = std::numeric_limits<std::uint64_t>::max();
constexpr std::int32_t kMaxExponentDigits = std::numeric_limits<std::int32_t>::max();
constexpr std::uint64_t kMinSignedMagnitude = std::uint64_t{1} << 63;  // of INT64_MIN

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
    const unsigned char* p = cursor;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
        if (p == end) return fail(error, ReadErrorCode::eof_value, input_begin, end);
        if (!is_digit(*p)) return fail(error, ReadErrorCode::invalid_number, input_begin, p + 1);
    }

    std::uint64_t significand = 0;
    // Digits dropped from the integer part raise the exponent; appended fraction digits lower it.
    // Kept in 64 bits while digits are counted, then saturated to 32 bits.
    std::int64_t exponent = 0;
    // Once any digit has been dropped, every later digit is dropped too: appending a later digit
    // that happens to fit would put it at the wrong decimal place.
    bool dropped = false;

    if (*p == '0') {
        ++p;
        if (p < end && is_digit(*p)) {
            return fail(error, ReadErrorCode::invalid_number, input_begin, p + 1);
        }
    } else {
        // Up to 19 digits always fit, so the common case needs no fit test.
        const unsigned char* fast_end = end - p > 19 ? p + 19 : end;
        while (p < fast_end && is_digit(*p)) {
            significand = significand * 10 + static_cast<unsigned>(*p - '0');
            ++p;
        }
        while (p < end && is_digit(*p)) {
            unsigned digit = static_cast<unsigned>(*p - '0');
            if (!dropped && digit_fits(significand, digit)) {
                significand = significand * 10 + digit;
            } else {
                dropped = true;
                ++exponent;
            }
            ++p;
        }
    }

    bool is_float = false;
    if (p < end && *p == '.') {
        is_float = true;
        ++p;
        if (p == end) return fail(error, ReadErrorCode::eof_value, input_begin, end);
        if (!is_digit(*p)) return fail(error, ReadErrorCode::invalid_number, input_begin, p + 1);
        while (p < end && is_digit(*p)) {
            unsigned digit = static_cast<unsigned>(*p - '0');
            if (!dropped && digit_fits(significand, digit)) {
                significand = significand * 10 + digit;
                --exponent;
            } else {
                dropped = true;
            }
            ++p;
        }
    }

    if (p < end && (*p == 'e' || *p == 'E')) {
        is_float = true;
        ++p;
        bool exponent_negative = false;
        if (p < end && (*p == '+' || *p == '-')) {
            exponent_negative = *p == '-';
            ++p;
        }
        if (p == end) return fail(error, ReadErrorCode::eof_value, input_begin, end);
        if (!is_digit(*p)) return fail(error, ReadErrorCode::invalid_number, input_begin, p + 1);
        std::int32_t written = 0;
        while (p < end && is_digit(*p)) {
            std::int32_t digit = *p - '0';
            ++p;
            if (written > (kMaxExponentDigits - digit) / 10) {
                if (!exponent_negative && significand != 0) {
                    return fail(error, ReadErrorCode::number_out_of_range, input_begin, p);
                }
                while (p < end && is_digit(*p))
                    ++p;
                cursor = p;
                out = JsonNumber::from_float(negative ? -0.0 : 0.0);
                return true;
            }
            written = written * 10 + digit;
        }
        std::int64_t base = saturate_to_int32(exponent);
        exponent = exponent_negative ? base - written : base + written;
    }

    if (!is_float && !dropped) {
        cursor = p;
        if (!negative) {
            out = JsonNumber::from_unsigned(significand);
        } else if (significand == 0) {
            out = JsonNumber::from_float(-0.0);
        } else if (significand <= kMinSignedMagnitude) {
            // Two's complement of the magnitude; 2^63 becomes INT64_MIN.
            out = JsonNumber::from_signed(static_cast<std::int64_t>(~significand + 1));
        } else {
            out = JsonNumber::from_float(-static_cast<double>(significand));
        }
        return true;
    }

    double value = 0.0;
    if (!decimal_to_binary64(significand, saturate_to_int32(exponent), value)) {
        return fail(error, ReadErrorCode::number_out_of_range, input_begin, p);
    }
    cursor = p;
    out = JsonNumber::from_float(negative ? -value : value);
    return true;
}

}  // namespace vantor::json
