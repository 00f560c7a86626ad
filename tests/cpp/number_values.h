#pragma once
// Short names for number values in test tables.
#include <cstdint>

#include "oracle/value.h"

namespace vantor::json::test_values {

inline JsonValue u(std::uint64_t v) {
    return JsonValue::number(text::JsonNumber::from_unsigned(v));
}
inline JsonValue i(std::int64_t v) {
    return JsonValue::number(text::JsonNumber::from_signed(v));
}
inline JsonValue f(double v) {
    return JsonValue::number(text::JsonNumber::from_float(v));
}

}  // namespace vantor::json::test_values
