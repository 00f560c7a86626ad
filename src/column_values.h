#pragma once
// The constant test's comparison of two column values.
#include <cstdint>

#include "json/tape.h"
#include "json/value.h"

namespace vantor {

// Two numbers compare by their exact mathematical values across variants (1 matches 1.0, 0 matches
// -0.0, but 2^53 + 1 does not match 2^53 although both round to the same binary64); two floats
// compare by IEEE equality. Everything else, numbers nested in arrays and objects included,
// compares by deep equality.
bool column_values_equal(const json::JsonValue& a, const json::JsonValue& b);

// The same comparison for two values on a tape, given by their cells' indexes. Equal payload text
// means equal values, so values are decoded and compared only where their text differs.
bool column_values_equal(const json::Tape& tape, std::uint32_t a, std::uint32_t b);

}  // namespace vantor
