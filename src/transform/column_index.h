#pragma once
// The column index: the transform's row observer (tape/walk_protocols.h). Columns are discovered
// while the payload is read: the walk hands each row's member names to it as it meets them, and
// each member gets its column, in order of first appearance, while its name is at hand, by
// trying the previous row's column at the same position before a hash lookup. Each column learns
// how many rows hold it, whether any value is not null, and whether every value matches the first
// row's: all that the column rules (transform/column_rules.h) need once every row is read, and
// what the result writer (transform/result_writer.h) needs to size and write each row.
//
// Inline, in a header: its calls are inlined into the walk's loop, which the transform
// instantiates with it.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "hashing/name_table.h"
#include "json/repeated_names.h"
#include "memory/scratch_area.h"
#include "memory/table_storage.h"
#include "tape/tape.h"
#include "tape/tape_writer.h"
#include "tape/walk_protocols.h"
#include "text/float_text.h"
#include "text/same_bytes.h"
#include "transform/call_plan.h"
#include "transform/column_rules.h"
#include "transform/tape_column_values.h"

namespace vantor::transform {

// What a field holds when it names nothing (yet), one name per kind of index.
constexpr std::uint32_t kNoRow = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kNoCell = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kNoColumn = std::numeric_limits<std::uint32_t>::max();
// The column is not written: all null, constant, or not yet placed.
constexpr std::uint32_t kNotWritten = std::numeric_limits<std::uint32_t>::max();

using column_rules::ColumnFate;

struct Column {
    tape::Cell name;        // the member name's cell where the column first appears
    std::string_view text;  // and its text, compared with the names of later rows
    // The name and its closing quote where the walk can test the payload for it in one block
    // (an escape-free name of fewer than sixteen bytes); else empty.
    std::string_view expected;
    std::uint32_t rows_holding = 0;
    std::uint32_t last_row = kNoRow;    // the last row that held the member, to find repeated keys
    std::uint32_t reference = kNoCell;  // the first row's value, when the first row holds it
    std::uint32_t output_index = kNotWritten;
    ColumnFate fate = ColumnFate::dropped;  // decided once every row is read
    // The column whose member came next in the last row that held this one: rows whose members
    // vary still tend to list them in the same relative order.
    std::uint32_t successor = kNoColumn;
    // The first row with a value that is not null, and the first row whose value differs from
    // the reference (kNoRow: none yet). Rows, not flags: a key repeated in a row replaces the
    // row's value, and what that value had decided is taken back when it was decided in that row.
    std::uint32_t first_non_null_row = kNoRow;
    std::uint32_t first_mismatch_row = kNoRow;

    bool holds_non_null() const { return first_non_null_row != kNoRow; }
    bool matches_reference() const { return first_mismatch_row == kNoRow; }
};

// What the writing pass needs of a row: a bound of its values' texts, and whether its members
// come in column order (then its written values come in output order and need no sorting).
struct RowFacts {
    std::size_t value_bounds;
    bool in_column_order;
};

// A row's facts as kept for the writing pass, in one word: the bound in the low 63 bits (a row's
// values are bounded by a few times the payload's length), the order in the top one.
class KeptRowFacts {
  public:
    explicit KeptRowFacts(const RowFacts& facts)
        : bits_((facts.value_bounds & kBoundMask) |
                (static_cast<std::uint64_t>(facts.in_column_order) << 63)) {}
    std::size_t value_bounds() const { return static_cast<std::size_t>(bits_ & kBoundMask); }
    bool in_column_order() const { return (bits_ >> 63) != 0; }

  private:
    static constexpr std::uint64_t kBoundMask = ~std::uint64_t{0} >> 1;
    std::uint64_t bits_;
};
static_assert(sizeof(KeptRowFacts) == CallPlan::kRowFactsBytes);

class ColumnIndex {
    using Cell = tape::Cell;
    using CellKind = tape::CellKind;

  public:
    // The index's tables come from `call_block` while it has room; `tape` is the tape the walk
    // fills.
    ColumnIndex(std::size_t payload_size, tape::Tape& tape, memory::ScratchArea* call_block)
        : payload_size_(payload_size),
          tape_(tape),
          index_(call_block),
          columns_(memory::ScratchAllocator<Column>(call_block)),
          member_columns_(call_block),
          rows_facts_(call_block) {}

    // The row observer. Its calls are inlined into the walk's loop: the compiler would leave
    // member() out of line otherwise, at the cost of a call per member.
    [[gnu::always_inline]] void row_begin() {
        if (rows_ == 0) reserve_for_rows();
        row_start_ = member_columns_.size();
        rewritten_before_row_ = tape_.rewritten_numbers();
        position_ = 0;
        guesses_taken_ = 0;
        facts_ = RowFacts{0, true};
    }

    // The name the next member most likely has, the previous row's at the same position
    // (column_rules::previous_row_column), for the walk to test the payload against before it
    // scans the name; empty when there is none.
    [[gnu::always_inline]] std::string_view expected_name() const {
        if (!expect_names_) return {};
        const std::uint32_t column = column_rules::previous_row_column(
            member_columns_.data() + previous_start_, previous_size_, position_, kNoColumn);
        return column == kNoColumn ? std::string_view() : columns_[column].expected;
    }

    // The member has the expected name.
    [[gnu::always_inline]] void expected_member() {
        ++guesses_taken_;
        member_in_column(member_columns_[previous_start_ + position_]);
    }

    [[gnu::always_inline]] void member(const tape::MemberName& name) {
        const std::string_view text = name.text;
        std::uint32_t column = column_rules::previous_row_guess(
            member_columns_.data() + previous_start_, previous_size_, position_, text, kNoColumn,
            [this](std::uint32_t guess) { return columns_[guess].text; });
        if (column != kNoColumn) ++guesses_taken_;
        if (column == kNoColumn && position_ != 0) {
            std::uint32_t guess = columns_[current_column_].successor;
            if (guess != kNoColumn && text::same_bytes(columns_[guess].text, text)) {
                column = guess;
            }
        }
        if (column == kNoColumn) {
            const hashing::NameTable::Found found = index_.find_or_add(text);
            column = found.ordinal;
            if (found.added) add_column(name.cell, text);
        }
        member_in_column(column);
    }

    [[gnu::always_inline]] void member_value(std::uint32_t value) {
        const Cell* cells = tape_.cells();
        Column& column = columns_[current_column_];
        facts_.value_bounds += tape::tape_value_bound_but_numbers(tape_, value) + 1;
        ++column.rows_holding;
        if (cells[value].kind() != CellKind::null && column.first_non_null_row == kNoRow) {
            column.first_non_null_row = rows_;
        }
        if (rows_ == 0) {
            column.reference = value;
        } else if (column.matches_reference() &&
                   (column.reference == kNoCell ||
                    !column_values_equal(tape_, column.reference, value, object_matching_))) {
            column.first_mismatch_row = rows_;
        }
    }

    [[gnu::always_inline]] void row_end() {
        // Numbers rewritten in the row's values may each write longer than their token.
        facts_.value_bounds +=
            text::kFloatTextCapacity * (tape_.rewritten_numbers() - rewritten_before_row_);
        rows_facts_.push_back(KeptRowFacts(facts_));
        previous_start_ = row_start_;
        previous_size_ = member_columns_.size() - row_start_;
        // Where rows vary in their names (sparse rows), testing the expected name first would
        // mostly cost a comparison more; the walk tests it while at least half of a row's
        // members took the previous row's guess (the first row had none to take).
        expect_names_ = rows_ == 0 || 2 * guesses_taken_ >= previous_size_;
        ++rows_;
    }

    // Rows must be objects: the first element that is not one is the failure's, once the whole
    // payload is read (a payload the reader refuses fails for that first).
    [[gnu::noinline]] void non_object_row(std::uint32_t cell) {
        if (non_object_row_ == kNoCell) non_object_row_ = cell;
    }

  private:
    // The member's column is found.
    [[gnu::always_inline]] void member_in_column(std::uint32_t column) {
        // A row's position for a name is its column, found at the name's first occurrence.
        Column& c = columns_[column];
        json::settle_member(
            c.last_row != rows_, [&] { c.last_row = rows_; }, [&] { take_back_value(c); });
        if (position_ != 0) {
            if (column <= current_column_) facts_.in_column_order = false;
            columns_[current_column_].successor = column;
        }
        current_column_ = column;
        member_columns_.push_back(column);
        ++position_;
    }

    // A new column, named by the member `name` whose text is `text`. Out of line: it is rare, and
    // its code would crowd the member's path, which is inlined into the walk.
    [[gnu::noinline]] void add_column(const Cell& name, std::string_view text) {
        // An escape-free name's text is in the payload, its closing quote after it.
        const bool expectable = name.kind() == CellKind::string_text && text.size() < 16;
        columns_.push_back(Column{.name = name,
                                  .text = text,
                                  .expected = expectable
                                                  ? std::string_view(text.data(), text.size() + 1)
                                                  : std::string_view()});
    }

    // The rule for a name repeated in one object (json/repeated_names.h) applied to a row: the
    // name given again keeps its column and takes this member's value. The row's earlier value is
    // taken back from the column's facts: its count, and whatever it alone decided (a non-null
    // value or a mismatch first seen in this row; an earlier row's still stands). The row goes to
    // the sorting writer, which writes the last of a column's values. Its members are not
    // rewritten.
    [[gnu::noinline]] void take_back_value(Column& column) {
        --column.rows_holding;
        if (column.first_non_null_row == rows_) column.first_non_null_row = kNoRow;
        if (column.first_mismatch_row == rows_) column.first_mismatch_row = kNoRow;
        facts_.in_column_order = false;
    }

    // Room for the members and rows that a payload of this size holds in typical rows, taken
    // with the first row (CallPlan); the tables grow beyond it as they fill.
    [[gnu::noinline]] void reserve_for_rows() {
        const CallPlan plan(payload_size_);
        member_columns_.reserve(plan.members);
        rows_facts_.reserve(plan.rows);
        columns_.reserve(CallPlan::kColumns);
    }

  public:
    // Each column's fate (transform/column_rules.h), and the written columns' places.
    void choose_columns() {
        for (Column& column : columns_) {
            column.fate = column_rules::column_fate(
                rows_, column.rows_holding, column.holds_non_null(), column.matches_reference());
            if (column.fate == ColumnFate::written) column.output_index = written_++;
        }
    }

    std::uint32_t rows() const { return rows_; }
    // Columns, in order of first appearance.
    const std::vector<Column, memory::ScratchAllocator<Column>>& columns() const {
        return columns_;
    }
    // How many columns are written.
    std::uint32_t written() const { return written_; }
    // The column of each member of each row, rows in order, members in their row's order.
    memory::TableVector<std::uint32_t>& member_columns() { return member_columns_; }
    const memory::TableVector<KeptRowFacts>& rows_facts() const { return rows_facts_; }
    // The first element of the top-level array that is not an object, or kNoCell.
    std::uint32_t non_object_row_cell() const { return non_object_row_; }

  private:
    std::size_t payload_size_;
    tape::Tape& tape_;
    std::uint32_t non_object_row_ = kNoCell;
    hashing::NameTable index_;  // name -> column
    ObjectMatching object_matching_;
    std::vector<Column, memory::ScratchAllocator<Column>> columns_;
    memory::TableVector<std::uint32_t> member_columns_;
    memory::TableVector<KeptRowFacts> rows_facts_;
    std::uint32_t rows_ = 0;
    std::uint32_t written_ = 0;
    // The row being read: where its members start in member_columns_, the member's position in
    // it, and the column of the member last named.
    std::size_t row_start_ = 0;
    std::size_t rewritten_before_row_ = 0;
    std::size_t position_ = 0;
    std::uint32_t current_column_ = 0;
    RowFacts facts_{0, true};
    // How many of the row's members had the previous row's name at their position, and whether
    // the walk tests that name first (row_end).
    std::size_t guesses_taken_ = 0;
    bool expect_names_ = true;
    // The previous row's members in member_columns_.
    std::size_t previous_start_ = 0;
    std::size_t previous_size_ = 0;
};

}  // namespace vantor::transform
