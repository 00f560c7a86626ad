#pragma once
// The constant test's comparison of two column values.
#include <cstdint>
#include <vector>

#include "json/name_index.h"
#include "json/tape.h"
#include "json/value.h"

namespace vantor {

// Two numbers compare by their exact mathematical values across variants (1 matches 1.0, 0 matches
// -0.0, but 2^53 + 1 does not match 2^53 although both round to the same binary64); two floats
// compare by IEEE equality. Everything else, numbers nested in arrays and objects included,
// compares by deep equality.
bool column_values_equal(const json::JsonValue& a, const json::JsonValue& b);

// What comparing objects on a tape keeps between calls: a name index for objects whose members
// come in different orders, and the member list it indexes. One per transform, so that the memory
// is allocated once.
struct ObjectMatching {
    json::NameIndex names;
    std::vector<std::uint32_t> members;
};

// The same comparison for two values on a tape, given by their cells' indexes. Equal payload text
// means equal values, so values are decoded and compared only where their text differs. Objects'
// members pair off by name whatever their order, at a cost linear in their members.
bool column_values_equal(const json::Tape& tape, std::uint32_t a, std::uint32_t b,
                         ObjectMatching& matching);

}  // namespace vantor
