#pragma once
// The exact transform's constant test: the comparison of two column values of the value model.
#include "json/value.h"

namespace vantor::transform {

// Two numbers compare by their exact mathematical values across variants (1 matches 1.0, 0 matches
// -0.0, but 2^53 + 1 does not match 2^53 although both round to the same binary64); two floats
// compare by IEEE equality. Everything else, numbers nested in arrays and objects included,
// compares by deep equality.
bool column_values_equal(const json::JsonValue& a, const json::JsonValue& b);

}  // namespace vantor::transform
