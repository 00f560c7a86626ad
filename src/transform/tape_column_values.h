#pragma once
// The transform's constant test: the comparison of two column values on a tape.
#include <cstdint>
#include <memory>
#include <vector>

#include "hashing/name_table.h"
#include "tape/tape.h"
#include "text/same_bytes.h"

namespace vantor::transform {

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
        hashing::NameTable names;
    };

    std::uint32_t indexed_from = kNothing;
    Lookup& lookup() {
        if (!lookup_) lookup_ = std::make_unique<Lookup>();
        return *lookup_;
    }

  private:
    std::unique_ptr<Lookup> lookup_;
};

// Two numbers compare by their exact values across variants (1 matches 1.0, 0 matches -0.0, but
// 2^53 + 1 does not match 2^53), two floats by IEEE equality, everything else by deep equality,
// for two values on a tape given by their cells' indexes. Equal payload text means equal values, so
// values are decoded and compared only where their text differs. Objects' members pair off by name
// whatever their order, at a cost linear in their members.
bool column_values_equal_in_full(const tape::Tape& tape, std::uint32_t a, std::uint32_t b,
                                 ObjectMatching& matching);

// Most comparisons are of two escape-free strings or two integers, equal exactly when their
// texts are (an integer's text is its canonical decimal form): settled inline, without a call.
[[gnu::always_inline]] inline bool column_values_equal(const tape::Tape& tape, std::uint32_t a,
                                                       std::uint32_t b, ObjectMatching& matching) {
    const tape::Cell& x = tape.cells()[a];
    const tape::Cell& y = tape.cells()[b];
    if (x.kind() == y.kind() &&
        (x.kind() == tape::CellKind::string_text || x.kind() == tape::CellKind::integer)) {
        return text::same_bytes(std::string_view(tape.payload_text(x), x.text_size()),
                                std::string_view(tape.payload_text(y), y.text_size()));
    }
    return column_values_equal_in_full(tape, a, b, matching);
}

}  // namespace vantor::transform
