#pragma once
// The constant test's comparison of two column values.
#include <cstdint>
#include <memory>
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

// What comparing objects on a tape keeps between calls: the remaining members of the last object
// whose members were looked up by name, from its key cell `indexed_from` on, and their name index
// when they are many. One per transform and tape: a column's first value is compared with every
// row's, so its index serves them all, and the memory is allocated once, with the first lookup
// (a call without one pays nothing for it).
class ObjectMatching {
  public:
    static constexpr std::uint32_t kNothing = 0xffffffffu;
    struct Lookup {
        std::vector<std::uint32_t> members;
        json::NameIndex names;
    };

    std::uint32_t indexed_from = kNothing;
    Lookup& lookup() {
        if (!lookup_) lookup_ = std::make_unique<Lookup>();
        return *lookup_;
    }

  private:
    std::unique_ptr<Lookup> lookup_;
};

// The same comparison for two values on a tape, given by their cells' indexes. Equal payload text
// means equal values, so values are decoded and compared only where their text differs. Objects'
// members pair off by name whatever their order, at a cost linear in their members.
bool column_values_equal(const json::Tape& tape, std::uint32_t a, std::uint32_t b,
                         ObjectMatching& matching);

}  // namespace vantor
