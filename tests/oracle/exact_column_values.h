#pragma once
// The reference transform's constant test: the comparison of two column values of the value model.
#include <limits>

#include "oracle/value.h"

namespace vantor::oracle {

// Every unsigned and signed 64-bit integer and every binary64 value is exactly a long double
// where its significand has 64 bits or more, so comparing the long doubles compares the numbers'
// mathematical values, whatever their variants.
static_assert(std::numeric_limits<long double>::digits >= 64);

inline long double exact_value(const text::JsonNumber& number) {
    switch (number.variant()) {
        case text::JsonNumber::Variant::unsigned_integer:
            return static_cast<long double>(number.unsigned_value());
        case text::JsonNumber::Variant::signed_integer:
            return static_cast<long double>(number.signed_value());
        case text::JsonNumber::Variant::float64:
            break;
    }
    return static_cast<long double>(number.float_value());
}

// Two numbers compare by their mathematical values across variants (1 matches 1.0, 0 matches
// -0.0, but 2^53 + 1 does not match 2^53 although both round to the same binary64). Everything
// else, numbers nested in arrays and objects included, compares by deep equality.
inline bool column_values_equal(const json::JsonValue& a, const json::JsonValue& b) {
    if (a.kind() == json::JsonKind::number && b.kind() == json::JsonKind::number) {
        return exact_value(a.as_number()) == exact_value(b.as_number());
    }
    return a == b;
}

}  // namespace vantor::oracle
