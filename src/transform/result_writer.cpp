#include "transform/result_writer.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "json/repeated_names.h"
#include "memory/huge_pages.h"
#include "memory/page_release.h"
#include "tape/tape_writer.h"
#include "transform/result_text.h"

namespace vantor::transform {
namespace {

using memory::ByteBuffer;
using tape::Cell;

// Sizes add up from payload-bounded parts, but rows times columns is the result's own shape and
// may exceed any memory: that is running out of memory, as growing a buffer would be.
std::size_t checked_add(std::size_t a, std::size_t b) {
    if (b > std::numeric_limits<std::size_t>::max() - a) throw std::bad_alloc();
    return a + b;
}
std::size_t checked_multiply(std::size_t a, std::size_t b) {
    if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) throw std::bad_alloc();
    return a * b;
}

bool is_constant(const Column& column) {
    return column.fate == ColumnFate::constant;
}

using PositionedValue = std::pair<std::uint32_t, std::uint32_t>;  // output index, value cell

// Up to this many values a row's pairs are sorted by insertion: a row out of column order is
// mostly in order (a member or two moved), and at this length that sort costs a handful of
// comparisons, where the general sort pays its set-up; its worst case stays a few hundred moves.
constexpr std::size_t kInsertionSortValues = 32;

// Sorts a row's pairs by output index, then by value cell: the pairs' own order. Out of line:
// most rows are in column order and never call it, and the writing loop stays compact.
[[gnu::noinline]] void sort_by_position(std::vector<PositionedValue>& values) {
    const std::size_t count = values.size();
    if (count > kInsertionSortValues) {
        std::sort(values.begin(), values.end());
        return;
    }
    // The pair as one number in the same order: the index in the upper half.
    auto key = [](const PositionedValue& pair) {
        return std::uint64_t{pair.first} << 32 | pair.second;
    };
    for (std::size_t i = 1; i < count; ++i) {
        const PositionedValue item = values[i];
        const std::uint64_t item_key = key(item);
        std::size_t j = i;
        for (; j > 0 && key(values[j - 1]) > item_key; --j)
            values[j] = values[j - 1];
        values[j] = item;
    }
}

// The writing pass over one call's tape and columns.
class ResultWriter {
  public:
    ResultWriter(const tape::Tape& tape, ColumnIndex& columns)
        : tape_(tape),
          cells_(tape.cells()),
          columns_(columns.columns()),
          member_columns_(columns.member_columns()),
          rows_facts_(columns.rows_facts()),
          written_(columns.written()) {}

    void write_result(ByteBuffer& out) {
        out.append(result_text::kBeforeColumns);
        for (const Column& column : columns_) {
            if (column.output_index == kNotWritten) continue;
            if (column.output_index != 0) out.push_back(',');
            tape::write_tape_string(tape_, column.name, out);
        }
        // A tape of several huge pages is given back behind the rows as they are written, so
        // that it and the result are not held whole at once; the constants, which may refer to
        // cells anywhere on it, are formed before the rows then.
        const bool release_tape = tape_.size() * sizeof(Cell) >= 2 * memory::kHugePageBytes;
        ByteBuffer early_constants;
        if (release_tape) write_constants(early_constants);
        out.append(result_text::kBetweenColumnsAndRows);
        write_rows(out, release_tape);
        out.append(result_text::kBetweenRowsAndConstants);
        if (release_tape) {
            out.append(early_constants.view());
        } else {
            write_constants(out);
        }
        out.append(result_text::kAfterConstants);
    }

    void write_constants(ByteBuffer& out) const {
        bool first = true;
        for (const Column& column : columns_) {
            if (!is_constant(column)) continue;
            if (!first) out.push_back(',');
            first = false;
            tape::write_tape_string(tape_, column.name, out);
            out.push_back(':');
            tape::write_tape_value(tape_, column.reference, out);
        }
    }

    // One array per row: the row's values in column order, runs of nulls between them
    // (transform/result_text.h). Each row reserves room for its bound once and is then formed
    // straight in the buffer.
    void write_rows(ByteBuffer& out, bool release_tape) {
        const std::size_t all_nulls = checked_multiply(written_, result_text::kNullTextSize);

        std::vector<PositionedValue> values;
        const std::uint32_t rows_end = cells_[0].container_end();
        std::size_t member = 0;
        std::uint32_t row = 0;
        const tape::TapeView view(tape_);
        // The tape and the members' columns behind the row written last are not read again.
        constexpr std::uint32_t kCellsPerHugePage = memory::kHugePageBytes / sizeof(Cell);
        memory::FrontRelease tape_release;
        memory::FrontRelease members_release;
        std::uint32_t release_at = kCellsPerHugePage;
        for (std::uint32_t at = 1; at < rows_end; ++row) {
            const std::uint32_t row_end = cells_[at].container_end();
            const KeptRowFacts facts = rows_facts_[row];
            char* start = out.tail(all_nulls + 3 + facts.value_bounds() + tape::kTapeWriteSlack);
            char* p = start;
            if (row != 0) *p++ = ',';
            *p++ = '[';
            std::uint32_t next = 0;
            auto write_value = [&](std::uint32_t index, std::uint32_t value) {
                p = result_text::write_null_run(next, index, p);
                if (index != 0) *p++ = ',';
                p = tape::write_tape_value_unchecked(view, value, p);
                next = index + 1;
            };
            // A row's cell is followed by its members' values (their names are not on the tape).
            if (facts.in_column_order()) {
                for (std::uint32_t value = at + 1; value < row_end;) {
                    std::uint32_t index = columns_[member_columns_[member++]].output_index;
                    if (index != kNotWritten) write_value(index, value);
                    value = tape::value_end(cells_, value);
                }
            } else {
                values.clear();
                for (std::uint32_t value = at + 1; value < row_end;) {
                    std::uint32_t index = columns_[member_columns_[member++]].output_index;
                    if (index != kNotWritten) values.emplace_back(index, value);
                    value = tape::value_end(cells_, value);
                }
                // A column given twice in the row has its values next to each other, in the
                // members' order (cells grow with it); the last one is its value
                // (take_back_value).
                sort_by_position(values);
                json::take_last_value_per_position(values, write_value);
            }
            p = result_text::write_null_run(next, written_, p);
            *p++ = ']';
            out.commit(static_cast<std::size_t>(p - start));
            at = row_end;
            if (release_tape && at >= release_at) {
                tape_release.release_before(cells_, cells_ + at);
                members_release.release_before(member_columns_.data(),
                                               member_columns_.data() + member);
                release_at = at + kCellsPerHugePage;
            }
        }
    }

  private:
    const tape::Tape& tape_;
    const Cell* cells_;
    const std::vector<Column, memory::ScratchAllocator<Column>>& columns_;
    memory::TableVector<std::uint32_t>& member_columns_;
    const memory::TableVector<KeptRowFacts>& rows_facts_;
    std::uint32_t written_;
};

}  // namespace

// An upper bound of the result's length, so that it is written into one allocation.
std::size_t result_bound(const tape::Tape& tape, const ColumnIndex& index) {
    std::size_t bound = 64;
    for (const Column& column : index.columns()) {
        if (column.output_index != kNotWritten) {
            bound = checked_add(bound, tape::tape_string_bound(tape, column.name) + 1);
        } else if (is_constant(column)) {
            bound = checked_add(bound, tape::tape_string_bound(tape, column.name) + 2 +
                                           tape::tape_value_bound(tape, column.reference));
        }
    }
    // Per row: its brackets and a comma, and per written column a comma and "null" at most,
    // besides its values.
    const std::size_t per_row =
        checked_add(3, checked_multiply(index.written(), result_text::kNullTextSize));
    bound = checked_add(bound, checked_multiply(index.rows(), per_row));
    for (const KeptRowFacts& facts : index.rows_facts())
        bound = checked_add(bound, facts.value_bounds());
    return checked_add(bound, tape::kTapeWriteSlack);
}

void write_result(const tape::Tape& tape, ColumnIndex& columns, ByteBuffer& out) {
    ResultWriter(tape, columns).write_result(out);
}

}  // namespace vantor::transform
