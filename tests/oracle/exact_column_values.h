#pragma once
// The reference transform's constant test: the comparison of two column values of the value model.
#include "oracle/value.h"
#include "transform/number_equality.h"

namespace vantor::oracle {

// Two numbers compare by their exact mathematical values across variants (1 matches 1.0, 0 matches
// -0.0, but 2^53 + 1 does not match 2^53 although both round to the same binary64); two floats
// compare by IEEE equality. Everything else, numbers nested in arrays and objects included,
// compares by deep equality.
inline bool column_values_equal(const json::JsonValue& a, const json::JsonValue& b) {
    if (a.kind() == json::JsonKind::number && b.kind() == json::JsonKind::number) {
        return transform::column_rules::numbers_equal_in_value(a.as_number(), b.as_number());
    }
    return a == b;
}

}  // namespace vantor::oracle
