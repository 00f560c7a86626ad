#pragma once
// The float text of a binary64 value: the shortest decimal digits that convert back to the same
// value, laid out positionally for 1e-5 <= |x| < 1e16 and in scientific form otherwise.
#include <cstddef>
#include <cstdint>

namespace vantor::json {

// The longest float text: a sign, "0.0000" and 17 digits, or a sign, 17 digits, a point and a
// five-byte exponent text.
inline constexpr std::size_t float_text_capacity = 24;

// A positive decimal significand * 10^exponent. The significand may carry trailing zeros.
struct DecimalFloat {
    std::uint64_t significand;
    int exponent;
};

// The shortest decimal that converts back to `magnitude` (finite and greater than zero), the
// nearest one when several are shortest.
DecimalFloat shortest_decimal(double magnitude);

// Writes the float text of `value` at `out` (room for float_text_capacity bytes) and returns its
// length. A non-finite value, which the value model never holds, is written "null".
std::size_t format_float_text(double value, char* out);

}  // namespace vantor::json
