// The transform. It reads the payload onto a tape (tape/tape.h), finds each member's column by
// trying the previous row's column at the same position before a hash lookup, gathers what the
// all-null and constant tests need in the same pass, sizes the result from bounds known by then,
// and writes it in one allocation, copying values whose payload text is already their output. A
// payload the reader refuses is read again by the exact reader, for its message.
#include "transform/columnarize.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hashing/name_table.h"
#include "hashing/object_names.h"
#include "json/reader.h"
#include "memory/huge_pages.h"
#include "memory/page_release.h"
#include "memory/scratch_area.h"
#include "memory/table_storage.h"
#include "tape/read_tape.h"
#include "tape/tape.h"
#include "tape/tape_writer.h"
#include "text/error_texts.h"
#include "transform/call_plan.h"
#include "transform/column_rules.h"
#include "transform/result_text.h"
#include "transform/tape_column_values.h"

namespace vantor::transform {
namespace {

using column_rules::ColumnFate;
using memory::ByteBuffer;
using tape::Cell;
using tape::CellKind;
using tape::Tape;

// What a field holds when it names nothing (yet), one name per kind of index.
constexpr std::uint32_t kNoRow = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kNoCell = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kNoColumn = std::numeric_limits<std::uint32_t>::max();
// The column is not written: all null, constant, or not yet placed.
constexpr std::uint32_t kNotWritten = std::numeric_limits<std::uint32_t>::max();

struct Column {
    Cell name;              // the member name's cell where the column first appears
    std::string_view text;  // and its text, compared with the names of later rows
    // The name and its closing quote where the reader can test the payload for it in one block
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

// The failure texts, from the core's catalogue.
using text::error_texts::kInvalidPayloadPrefix;
using text::error_texts::kNonObjectRowPrefix;

// Columns are discovered while the payload is read: the tape reader hands each row's member names
// to this class (its row observer) as it meets them, and each member gets its column, in order of
// first appearance, while its name is at hand; each column learns how many rows hold it, whether
// any value is not null, and whether every value matches the first row's.
class Columnarizer {
  public:
    // The tables come from `call_block` while it has room, and so does the result when
    // `result_in_block` (the caller keeps the block until the result is used).
    Columnarizer(std::size_t payload_size, const tape::TapeLimits& limits,
                 memory::ScratchArea& call_block, bool result_in_block)
        : payload_size_(payload_size),
          block_(&call_block),
          result_in_block_(result_in_block),
          tape_(block_, limits),
          index_(block_),
          columns_(memory::ScratchAllocator<Column>(block_)),
          member_columns_(block_),
          rows_facts_(block_) {}

    TransformOutcome run(text::PaddedText payload) {
        const CallPlan plan(payload.size());
        tape_.reserve_more(plan.cells < tape_.limits().cells ? plan.cells : tape_.limits().cells);
        tape_.reserve_extents(plan.extents);
        if (!tape::read_tape(payload, tape_, *this)) return refusal(payload.view());
        if (non_object_row_ != kNoCell) return non_object_failure();
        cells_ = tape_.cells();
        choose_columns();
        // A small result of a call that made no table in the block (an empty array) is not worth
        // allocating the block for: the C library keeps such small pieces at hand.
        const std::size_t bound = result_bound();
        const bool in_block = result_in_block_ && (block_->allocated() || bound > kSmallResult);
        TransformOutcome outcome{TransformOutcome::Kind::result,
                                 ByteBuffer(in_block ? block_ : nullptr, bound)};
        write_result(outcome.text);
        return outcome;
    }

    // The row observer. Its calls are inlined into the reader's loop: the compiler would leave
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
    // (column_rules::previous_row_column), for the reader to test the payload against before it
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

    // The member's column is found.
    [[gnu::always_inline]] void member_in_column(std::uint32_t column) {
        // A row's position for a name is its column, found at the name's first occurrence.
        Column& c = columns_[column];
        hashing::settle_member(
            c.last_row != rows_, [&] { c.last_row = rows_; }, [&] { take_back_value(c); });
        if (position_ != 0) {
            if (column <= current_column_) facts_.in_column_order = false;
            columns_[current_column_].successor = column;
        }
        current_column_ = column;
        member_columns_.push_back(column);
        ++position_;
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
        // mostly cost a comparison more; the reader tests it while at least half of a row's
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
    // A new column, named by the member `name` whose text is `text`. Out of line: it is rare, and
    // its code would crowd the member's path, which is inlined into the reader.
    [[gnu::noinline]] void add_column(const Cell& name, std::string_view text) {
        // An escape-free name's text is in the payload, its closing quote after it.
        const bool expectable = name.kind() == CellKind::string_text && text.size() < 16;
        columns_.push_back(Column{.name = name,
                                  .text = text,
                                  .expected = expectable
                                                  ? std::string_view(text.data(), text.size() + 1)
                                                  : std::string_view()});
    }

    // The rule for a name repeated in one object (hashing/object_names.h) applied to a row: the
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

    // The refused payload's failure, the exact reader's explanation of it.
    static TransformOutcome refusal(std::string_view payload) {
        const std::string message = json::explain_refusal(payload);
        // The two readers accept the same payloads; the fuzz targets hold them to it.
        if (message.empty()) throw std::logic_error("the tape reader refused an accepted payload");
        return failure(kInvalidPayloadPrefix, message);
    }

    // The message is allocated once, with room for the element's text.
    TransformOutcome non_object_failure() const {
        TransformOutcome outcome{
            TransformOutcome::Kind::failure,
            ByteBuffer(kNonObjectRowPrefix.size() + tape::tape_value_bound(tape_, non_object_row_) +
                       tape::kTapeWriteSlack)};
        outcome.text.append(kNonObjectRowPrefix);
        tape::write_tape_value(tape_, non_object_row_, outcome.text);
        return outcome;
    }

    static TransformOutcome failure(std::string_view prefix, std::string_view detail) {
        TransformOutcome outcome{TransformOutcome::Kind::failure,
                                 ByteBuffer(prefix.size() + detail.size())};
        outcome.text.append(prefix);
        outcome.text.append(detail);
        return outcome;
    }

    // Each column's fate (transform/column_rules.h), and the written columns' places.
    void choose_columns() {
        for (Column& column : columns_) {
            column.fate = column_rules::column_fate(
                rows_, column.rows_holding, column.holds_non_null(), column.matches_reference());
            if (column.fate == ColumnFate::written) column.output_index = written_++;
        }
    }

    static bool is_constant(const Column& column) { return column.fate == ColumnFate::constant; }

    // An upper bound of the result's length, so that it is written into one allocation.
    std::size_t result_bound() const {
        std::size_t bound = 64;
        for (const Column& column : columns_) {
            if (column.output_index != kNotWritten) {
                bound = checked_add(bound, tape::tape_string_bound(tape_, column.name) + 1);
            } else if (is_constant(column)) {
                bound = checked_add(bound, tape::tape_string_bound(tape_, column.name) + 2 +
                                               tape::tape_value_bound(tape_, column.reference));
            }
        }
        // Per row: its brackets and a comma, and per written column a comma and "null" at most,
        // besides its values.
        const std::size_t per_row =
            checked_add(3, checked_multiply(written_, result_text::kNullTextSize));
        bound = checked_add(bound, checked_multiply(rows_, per_row));
        for (const KeptRowFacts& facts : rows_facts_)
            bound = checked_add(bound, facts.value_bounds());
        return checked_add(bound, tape::kTapeWriteSlack);
    }

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

        std::vector<std::pair<std::uint32_t, std::uint32_t>> values;  // output index, value cell
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
                // A column given twice in the row has its values next to each other; the last
                // one is its value (take_back_value).
                std::sort(values.begin(), values.end());
                for (std::size_t v = 0; v < values.size(); ++v) {
                    if (v + 1 < values.size() && values[v + 1].first == values[v].first) continue;
                    write_value(values[v].first, values[v].second);
                }
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

    static constexpr std::size_t kSmallResult = 1024;

    std::size_t payload_size_;
    memory::ScratchArea* block_;  // the call's block
    bool result_in_block_;
    std::uint32_t non_object_row_ = kNoCell;  // the first element that is not an object
    Tape tape_;
    const Cell* cells_ = nullptr;  // once the tape is read
    hashing::NameTable index_;     // name -> column
    ObjectMatching object_matching_;
    std::vector<Column, memory::ScratchAllocator<Column>> columns_;
    // The column of each member of each row, rows in order, members in their row's order.
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
    // the reader tests that name first (row_end).
    std::size_t guesses_taken_ = 0;
    bool expect_names_ = true;
    // The previous row's members in member_columns_.
    std::size_t previous_start_ = 0;
    std::size_t previous_size_ = 0;
};

}  // namespace

std::size_t call_block_bytes(std::size_t payload_size) {
    return CallPlan(payload_size).block_bytes;
}

TransformOutcome columnarize(text::PaddedText payload) {
    return columnarize(payload, tape::TapeLimits());
}

TransformOutcome columnarize(text::PaddedText payload, memory::ScratchArea& call_block) {
    Columnarizer transform(payload.size(), tape::TapeLimits(), call_block,
                           /*result_in_block=*/true);
    return transform.run(payload);
}

// Without a block from the caller the tables have one of their own, and the result, which
// outlives it, memory of its own.
TransformOutcome columnarize(text::PaddedText payload, const tape::TapeLimits& limits) {
    memory::ScratchArea tables(CallPlan(payload.size()).block_bytes);
    Columnarizer transform(payload.size(), limits, tables, /*result_in_block=*/false);
    return transform.run(payload);
}

}  // namespace vantor::transform
