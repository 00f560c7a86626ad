#pragma once
// Equality of two numbers by their mathematical values across variants (1 matches 1.0, 0 matches
// -0.0, but 2^53 + 1 does not match 2^53 although both round to the same binary64), the rule of
// the constant test. Inline: the tape comparison calls it in its inner loop.
#include <cmath>
#include <cstdint>

#include "text/json_number.h"

namespace vantor::transform::column_rules {

using text::JsonNumber;
using Variant = JsonNumber::Variant;

inline constexpr double kTwoTo63 = 9223372036854775808.0;
inline constexpr double kTwoTo64 = 18446744073709551616.0;

// Exact comparison of an integer with a float: the float must be integral and inside the integer
// type's range, so that converting it to the integer type is exact.
inline bool unsigned_equals_float(std::uint64_t u, double f) {
    if (!(f >= 0.0 && f < kTwoTo64) || std::trunc(f) != f) return false;
    return static_cast<std::uint64_t>(f) == u;
}

inline bool signed_equals_float(std::int64_t i, double f) {
    if (!(f >= -kTwoTo63 && f < kTwoTo63) || std::trunc(f) != f) return false;
    return static_cast<std::int64_t>(f) == i;
}

inline bool unsigned_equals_signed(std::uint64_t u, std::int64_t i) {
    return i >= 0 && static_cast<std::uint64_t>(i) == u;
}

inline bool numbers_equal_in_value(const JsonNumber& a, const JsonNumber& b) {
    if (a.variant() == b.variant()) return a == b;
    if (a.variant() == Variant::float64) return numbers_equal_in_value(b, a);
    // From here `a` is an integer and the variants differ.
    if (b.variant() == Variant::float64) {
        return a.variant() == Variant::unsigned_integer
                   ? unsigned_equals_float(a.unsigned_value(), b.float_value())
                   : signed_equals_float(a.signed_value(), b.float_value());
    }
    return a.variant() == Variant::unsigned_integer
               ? unsigned_equals_signed(a.unsigned_value(), b.signed_value())
               : unsigned_equals_signed(b.unsigned_value(), a.signed_value());
}

}  // namespace vantor::transform::column_rules
