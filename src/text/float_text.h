#pragma once
// The float text of a binary64 value: the shortest decimal digits that convert back to the same
// value, laid out positionally for 1e-5 <= |x| < 1e16 and in scientific form otherwise
// (text/float_layout.h).
#include <cstddef>
#include <cstdint>

namespace vantor::text {

// The longest float text: a sign, "0.0000" and 17 digits, or a sign, 17 digits, a point and a
// five-byte exponent text.
inline constexpr std::size_t kFloatTextCapacity = 24;

// The scratch area the text is formed in: the text plus slack, so that the digits are moved with
// copies of fixed width (which compile to a few register moves) instead of copies sized at run
// time.
inline constexpr std::size_t kFloatTextScratchSize = kFloatTextCapacity + 24;

namespace detail {

// floor(e * log10 2), floor(log10(3/4 * 2^e)) and floor(e * log2 10) by integer products, exact
// for |e| <= 1100 (the binary64 range needs |e| <= 1080).
constexpr int floor_log10_pow2(int e) {
    return (e * 315653) >> 20;
}
constexpr int floor_log10_three_quarters_pow2(int e) {
    return (e * 315653 - 131007) >> 20;
}
constexpr int floor_log2_pow10(int e) {
    return (e * 1741647) >> 19;
}

}  // namespace detail

// A positive decimal significand * 10^exponent. The significand may carry trailing zeros.
struct DecimalFloat {
    std::uint64_t significand;
    int exponent;
};

// Writes the float text of `value` at `out` (room for kFloatTextScratchSize bytes, of which
// at most kFloatTextCapacity form the text) and returns its length. A non-finite value, which the
// readers never yield, is written "null".
std::size_t format_float_text(double value, char* out);

// Writes the float text of the value -1^negative * decimal (significand above zero and below
// 10^17) at `out` (room as above) and returns its length, taking the significand's digits as the
// shortest ones: the layout step of format_float_text on its own, for callers that already know
// the shortest digits.
std::size_t format_decimal_text(bool negative, DecimalFloat decimal, char* out);

}  // namespace vantor::text
