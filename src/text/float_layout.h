#pragma once
// The float layout: how the float text (text/float_text.h) lays out a value's shortest digits,
// and what a reader may conclude from a token alone. A token already in the layout is its own
// output text, so the tape keeps it as it stands and compares it as text; this file is the one
// place that says which tokens those are, beside the writer that lays them out.
#include <cstdint>
#include <string_view>

namespace vantor::text {

// The float text is positional when the exponent of its first significant digit is from
// kPositionalExponentMin to kPositionalExponentMax (1e-5 <= |x| < 1e16: "0.00001", "1e+16"),
// scientific otherwise ("9.9e-6").
inline constexpr int kPositionalExponentMin = -5;
inline constexpr int kPositionalExponentMax = 15;

// A decimal token of at most this many significant digits is the shortest decimal of the binary64
// it rounds to: any two decimals of 15 digits round to different binary64 values, so no shorter
// decimal reaches the same one. Its float text has the token's digits, trailing zeros dropped.
inline constexpr int kOwnShortestDigitsMax = 15;

// The largest decimal exponent magnitude read with one exact operation: 10^22 is the largest
// power of ten that a binary64 holds exactly, and a significand of at most kOwnShortestDigitsMax
// digits is below 2^53, so significand * 10^e and significand / 10^e are each one correctly
// rounded operation.
inline constexpr int kExactDecimalExponentMax = 22;

// Whether a token with a point and no exponent, of a non-zero value with at most
// kOwnShortestDigitsMax significant digits (counting the integer part's when it is not zero and
// the fraction's after its leading zeros, trailing zeros included), is laid out as the float
// text would lay it out: no trailing zero in the fraction unless the fraction is a single zero
// after a non-zero integer part, and below 1 no more than four zeros after the point (0.00001 is
// positional, 0.000001 is not). Integer parts need no check: with at most 15 digits they stay
// within the positional range, and the token grammar gives them no leading zeros.
// `leading_zeros` counts the zeros that lead the fraction when the integer part is zero.
constexpr bool in_float_layout(unsigned char last_fraction_digit, std::int64_t fraction_digits,
                               bool integer_zero, std::int64_t leading_zeros) {
    if (last_fraction_digit == '0') return fraction_digits == 1 && !integer_zero;
    return !integer_zero || leading_zeros <= -kPositionalExponentMin - 1;
}

// Whether an integer token and a float text in the float layout hold the same value: the float
// text of an integral value below 10^16 is its digits and ".0", and zero also equals negative
// zero. The float text is positional only below 10^16, and a float in the float layout has at
// most kOwnShortestDigitsMax digits, so no integer of 10^16 or more can equal one.
static_assert(kPositionalExponentMax == 15, "the float text of an integral value below 10^16");
constexpr bool integer_matches_float_text(std::string_view integer, std::string_view float_text) {
    if (float_text.size() == integer.size() + 2 && float_text.substr(integer.size()) == ".0" &&
        float_text.substr(0, integer.size()) == integer) {
        return true;
    }
    return integer == "0" && float_text == "-0.0";
}

}  // namespace vantor::text
