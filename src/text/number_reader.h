#pragma once
// The number reader: one number token of the payload, its class (unsigned, signed or binary64)
// and its value under the readers' own decimal-to-binary64 method. Both readers use it; the
// token's grammar and class come from the number scan (text/number_scan.h).
#include <cstdint>

#include "text/json_number.h"
#include "text/read_error.h"

namespace vantor::text {

// Reads the number token at `cursor` (before `end`; the readers call it at `-` or a digit) and
// advances `cursor` to the first byte that cannot continue it. On failure returns false with
// `error` set; positions are byte indexes from `input_begin`.
bool read_number(const unsigned char* input_begin, const unsigned char*& cursor,
                 const unsigned char* end, JsonNumber& out, ReadError& error);

// The readers' own method, deliberately not correctly rounded: the significand converted to
// binary64, then one multiplication or division by the nearest binary64 power of ten (repeated by
// 1e308 steps below 1e-308). Returns false when the result overflows or the exponent exceeds 308
// with a non-zero significand. The sign is applied by the caller.
bool decimal_to_binary64(std::uint64_t significand, std::int32_t exponent, double& out);

}  // namespace vantor::text
