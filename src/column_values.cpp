#include "column_values.h"

#include <cmath>
#include <cstdint>

namespace vantor {
namespace {

using json::JsonKind;
using json::JsonNumber;
using Variant = JsonNumber::Variant;

constexpr double two_to_63 = 9223372036854775808.0;
constexpr double two_to_64 = 18446744073709551616.0;

// Exact comparison of an integer with a float: the float must be integral and inside the integer
// type's range, so that converting it to the integer type is exact.
bool unsigned_equals_float(std::uint64_t u, double f) {
    if (!(f >= 0.0 && f < two_to_64) || std::trunc(f) != f) return false;
    return static_cast<std::uint64_t>(f) == u;
}

bool signed_equals_float(std::int64_t i, double f) {
    if (!(f >= -two_to_63 && f < two_to_63) || std::trunc(f) != f) return false;
    return static_cast<std::int64_t>(f) == i;
}

bool unsigned_equals_signed(std::uint64_t u, std::int64_t i) {
    return i >= 0 && static_cast<std::uint64_t>(i) == u;
}

bool numbers_equal_exactly(const JsonNumber& a, const JsonNumber& b) {
    if (a.variant() == b.variant()) return a == b;
    if (a.variant() == Variant::float64) return numbers_equal_exactly(b, a);
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

}  // namespace

bool column_values_equal(const json::JsonValue& a, const json::JsonValue& b) {
    if (a.kind() == JsonKind::number && b.kind() == JsonKind::number) {
        return numbers_equal_exactly(a.as_number(), b.as_number());
    }
    return a == b;
}

}  // namespace vantor
