#include "transform/tape_column_values.h"

#include <cmath>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "text/float_layout.h"
#include "text/number_reader.h"
#include "text/number_scan.h"
#include "transform/number_equality.h"

namespace vantor::transform {
namespace {

using column_rules::numbers_equal_in_value;
using tape::Cell;
using tape::CellKind;
using text::integer_matches_float_text;
using text::JsonNumber;

bool is_number(CellKind kind) {
    return kind == CellKind::integer || kind == CellKind::integer_in_table ||
           kind == CellKind::float_text || kind == CellKind::float_decimal ||
           kind == CellKind::float_value;
}

bool is_string(CellKind kind) {
    return kind == CellKind::string_text || kind == CellKind::string_decoded;
}

// The number a cell holds, read again from its text where it kept only the text.
JsonNumber cell_number(const tape::Tape& tape, const Cell& cell) {
    switch (cell.kind()) {
        case CellKind::integer:
        case CellKind::integer_in_table: {
            // The tape holds only tokens of the integer class as integers.
            const std::string_view token = tape.text(cell);
            const auto* begin = reinterpret_cast<const unsigned char*>(token.data());
            return text::integer_token_value(text::scan_number(begin, begin + token.size()));
        }
        case CellKind::float_text: {
            const auto* begin = reinterpret_cast<const unsigned char*>(tape.payload_text(cell));
            const unsigned char* cursor = begin;
            JsonNumber number = JsonNumber::from_float(0.0);
            text::ReadError error;
            text::read_number(begin, cursor, begin + cell.text_size(), number, error);
            return number;
        }
        case CellKind::float_decimal: {
            double value = 0.0;
            text::decimal_to_binary64(cell.decimal_significand(), cell.decimal_exponent(), value);
            return JsonNumber::from_float(cell.decimal_negative() ? -value : value);
        }
        default:
            return JsonNumber::from_float(tape.float_value(cell));
    }
}

bool is_zero_text(std::string_view text) {
    return text == "0.0" || text == "-0.0";
}

// Same kind and same payload text, which settles equality without decoding.
bool same_text(const tape::Tape& tape, const Cell& a, const Cell& b) {
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
        case CellKind::null:
        case CellKind::boolean_true:
        case CellKind::boolean_false:
            return true;
        case CellKind::integer:
        case CellKind::integer_in_table:
        case CellKind::float_text:
        case CellKind::string_text:
        case CellKind::string_decoded:
            return tape.text(a) == tape.text(b);
        case CellKind::float_decimal:
            return a.bits == b.bits;
        case CellKind::float_value:
            return false;
        case CellKind::array:
        case CellKind::object:
            return a.has_extent() && b.has_extent() &&
                   tape.container_text(a) == tape.container_text(b);
    }
    return false;
}

// Pairs of values still to compare: a few in place, more on the heap.
class PendingPairs {
  public:
    using Pair = std::pair<std::uint32_t, std::uint32_t>;
    void emplace_back(std::uint32_t a, std::uint32_t b) {
        if (size_ < kInlineCapacity) {
            inline_[size_++] = {a, b};
        } else {
            spilled_.emplace_back(a, b);
        }
    }
    bool empty() const { return size_ == 0 && spilled_.empty(); }
    Pair pop() {
        if (!spilled_.empty()) {
            Pair pair = spilled_.back();
            spilled_.pop_back();
            return pair;
        }
        return inline_[--size_];
    }

  private:
    static constexpr std::size_t kInlineCapacity = 16;
    Pair inline_[kInlineCapacity];
    std::size_t size_ = 0;
    std::vector<Pair> spilled_;
};

// Objects of up to this many members left to pair after the common order ends are searched
// linearly; more are indexed.
constexpr std::size_t kLinearSearchMembers = 8;

// Lists the members of an object from the key cell `from` up to `end` in the lookup's members, and
// indexes their names when there are too many to search linearly; false when it does not.
bool index_members(const tape::Tape& tape, std::uint32_t from, std::uint32_t end,
                   ObjectMatching& matching) {
    const Cell* cells = tape.cells();
    ObjectMatching::Lookup& lookup = matching.lookup();
    std::vector<std::uint32_t>& rest = lookup.members;
    rest.clear();
    for (std::uint32_t k = from; k < end; k = tape::value_end(cells, k + 1))
        rest.push_back(k);
    matching.indexed_from = from;
    if (rest.size() <= kLinearSearchMembers) return true;
    lookup.names.reset(rest.size());
    for (std::uint32_t key : rest)
        lookup.names.find_or_add_reserved(tape.text(cells[key]));
    return false;
}

// Pairs the members of objects `a` and `b` by name, onto `pending`; false when their names
// differ. Names are distinct within each object (the tape reader settles repeated ones), so equal
// member counts and every name of one found in the other mean the same names. Members in the
// same order pair off directly; from the first name that differs, each remaining member of `b`
// is looked up among the remaining members of `a`: linearly while few remain, else through a
// keyed index, so the pairing costs the members' count whatever their order. `a` is the column's
// first value (or inside it) in every comparison of a column, so its index is kept for the next.
bool pair_members(const tape::Tape& tape, std::uint32_t a, std::uint32_t b, PendingPairs& pending,
                  ObjectMatching& matching) {
    const Cell* cells = tape.cells();
    const std::uint32_t a_end = cells[a].container_end();
    const std::uint32_t b_end = cells[b].container_end();
    std::uint32_t i = a + 1;
    std::uint32_t j = b + 1;
    while (i < a_end && j < b_end && text::same_bytes(tape.text(cells[i]), tape.text(cells[j]))) {
        pending.emplace_back(i + 1, j + 1);
        i = tape::value_end(cells, i + 1);
        j = tape::value_end(cells, j + 1);
    }
    if (i == a_end || j == b_end) return i == a_end && j == b_end;
    ObjectMatching::Lookup& lookup = matching.lookup();
    std::vector<std::uint32_t>& rest = lookup.members;
    const bool linear = matching.indexed_from == i ? rest.size() <= kLinearSearchMembers
                                                   : index_members(tape, i, a_end, matching);
    std::size_t found = 0;
    for (; j < b_end; j = tape::value_end(cells, j + 1), ++found) {
        std::string_view name = tape.text(cells[j]);
        std::size_t k = 0;
        if (linear) {
            while (k < rest.size() && !text::same_bytes(name, tape.text(cells[rest[k]])))
                ++k;
            if (k == rest.size()) return false;
        } else {
            k = lookup.names.find(name);
            if (k == hashing::NameTable::kAbsent) return false;
        }
        pending.emplace_back(rest[k] + 1, j + 1);
    }
    return found == rest.size();
}

// Deep equality without recursion: pairs still to compare wait on an explicit list.
bool deep_equal(const tape::Tape& tape, std::uint32_t a, std::uint32_t b,
                ObjectMatching& matching) {
    const Cell* cells = tape.cells();
    PendingPairs pending;
    for (;;) {
        const Cell& x = cells[a];
        const Cell& y = cells[b];
        if (!same_text(tape, x, y)) {
            CellKind kx = x.kind();
            CellKind ky = y.kind();
            if (is_number(kx) && is_number(ky)) {
                if (!(cell_number(tape, x) == cell_number(tape, y))) return false;
            } else if (is_string(kx) && is_string(ky)) {
                if (tape.text(x) != tape.text(y)) return false;
            } else if (kx != ky) {
                return false;
            } else if (kx == CellKind::array) {
                std::uint32_t i = a + 1;
                std::uint32_t j = b + 1;
                for (; i < x.container_end() && j < y.container_end();
                     i = tape::value_end(cells, i), j = tape::value_end(cells, j)) {
                    pending.emplace_back(i, j);
                }
                if (i != x.container_end() || j != y.container_end()) return false;
            } else if (kx == CellKind::object) {
                if (!pair_members(tape, a, b, pending, matching)) return false;
            } else {
                return false;
            }
        }
        if (pending.empty()) return true;
        std::tie(a, b) = pending.pop();
    }
}

}  // namespace

// Every pair but two escape-free strings or two integers, which the header settles.
bool column_values_equal_in_full(const tape::Tape& tape, std::uint32_t a, std::uint32_t b,
                                 ObjectMatching& matching) {
    const Cell& x = tape.cells()[a];
    const Cell& y = tape.cells()[b];
    CellKind kx = x.kind();
    CellKind ky = y.kind();
    // A float text is the value's shortest digits in one layout, so other text is another value,
    // but for zero, whose two signs compare equal.
    if (kx == ky && kx == CellKind::float_text) {
        return text::same_bytes(tape.text(x), tape.text(y)) ||
               (is_zero_text(tape.text(x)) && is_zero_text(tape.text(y)));
    }
    if (is_number(kx) && is_number(ky)) {
        if (kx == CellKind::integer && ky == CellKind::float_text) {
            return integer_matches_float_text(tape.text(x), tape.text(y));
        }
        if (kx == CellKind::float_text && ky == CellKind::integer) {
            return integer_matches_float_text(tape.text(y), tape.text(x));
        }
        return same_text(tape, x, y) ||
               numbers_equal_in_value(cell_number(tape, x), cell_number(tape, y));
    }
    return deep_equal(tape, a, b, matching);
}

}  // namespace vantor::transform
