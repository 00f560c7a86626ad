// The reference transform over the value model. Every step is linear in the payload plus the
// output: one pass over the rows' members maps each member to its column and gathers what the
// all-null and constant tests need, and the row matrix is written straight into the result buffer
// without copying values.
#include "oracle/exact_transform.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "hashing/name_table.h"
#include "memory/arena.h"
#include "oracle/exact_column_values.h"
#include "oracle/value.h"
#include "oracle/value_reader.h"
#include "oracle/writer.h"
#include "transform/column_rules.h"
#include "transform/result_text.h"

namespace vantor::oracle {
namespace {

using transform::TransformOutcome;
namespace column_rules = transform::column_rules;
namespace result_text = transform::result_text;

using json::JsonMember;
using json::JsonObject;
using json::JsonValue;
using memory::ByteBuffer;
using text::JsonNumber;

// The failure texts of the caller's contract, written here as the reference has them.
constexpr std::string_view kInvalidPayloadPrefix = "invalid row-oriented JSON: ";
constexpr std::string_view kNonObjectRowPrefix = "expected a JSON object row, got: ";
constexpr std::size_t kResultInitialCapacity = 128;
// A member whose name is not yet a column, and a column that is not written (all-null or
// constant).
constexpr std::size_t kNoColumn = SIZE_MAX;
constexpr std::size_t kNotWritten = SIZE_MAX;

struct Column {
    std::string_view name;
    std::size_t rows_holding = 0;
    // The first row's value, the reference of the constant test (set only when row 0 holds it).
    const JsonValue* reference = nullptr;
    bool holds_non_null = false;
    bool matches_reference = true;
    // Index among the written columns, or kNotWritten for all-null and constant columns.
    std::size_t output_index = kNotWritten;
    column_rules::ColumnFate fate = column_rules::ColumnFate::dropped;
};

TransformOutcome failure(std::string_view prefix, std::string_view detail) {
    TransformOutcome outcome{TransformOutcome::Kind::failure,
                             ByteBuffer(prefix.size() + detail.size())};
    outcome.text.append(prefix);
    outcome.text.append(detail);
    return outcome;
}

TransformOutcome non_object_failure(const JsonValue& element) {
    TransformOutcome outcome{TransformOutcome::Kind::failure, ByteBuffer(kResultInitialCapacity)};
    outcome.text.append(kNonObjectRowPrefix);
    json::write_json(element, outcome.text);
    return outcome;
}

// Assigns every member of every row its column, in order of first appearance, and gathers for
// each column how many rows hold it, whether any holds a non-null value, and whether every row's
// value matches the first row's. Rows usually repeat their predecessor's member order, so the
// previous row's column at the same position is tried before the name set is consulted.
class ColumnDiscovery {
  public:
    void add_row(const JsonObject& row, bool first_row) {
        std::size_t previous_start = row_start_;
        std::size_t previous_size = member_columns_.size() - previous_start;
        row_start_ = member_columns_.size();
        std::size_t position = 0;
        for (const JsonMember& member : row) {
            std::size_t column = column_rules::previous_row_guess(
                member_columns_.data() + previous_start, previous_size, position, member.name,
                kNoColumn, [this](std::size_t guess) { return columns_[guess].name; });
            if (column == kNoColumn) column = lookup_or_add(member.name);
            member_columns_.push_back(column);
            observe(columns_[column], member.value, first_row);
            ++position;
        }
    }

    std::vector<Column>& columns() { return columns_; }
    // The column of each member of each row, rows in order, members in their row's order.
    const std::vector<std::size_t>& member_columns() const { return member_columns_; }

  private:
    std::size_t lookup_or_add(std::string_view name) {
        const hashing::NameTable::Found found = seen_.find_or_add(name);
        if (found.added) columns_.push_back(Column{.name = name});
        return found.ordinal;
    }

    static void observe(Column& column, const JsonValue& value, bool first_row) {
        ++column.rows_holding;
        if (!value.is_null()) column.holds_non_null = true;
        if (first_row) {
            column.reference = &value;
        } else if (column.matches_reference && (column.reference == nullptr ||
                                                !column_values_equal(*column.reference, value))) {
            column.matches_reference = false;
        }
    }

    hashing::NameTable seen_;  // name -> column
    std::vector<Column> columns_;
    std::vector<std::size_t> member_columns_;
    std::size_t row_start_ = 0;
};

// The names of the written columns, separated by commas.
void write_column_names(const std::vector<Column>& columns, ByteBuffer& out) {
    bool first = true;
    for (const Column& column : columns) {
        if (column.output_index == kNotWritten) continue;
        if (!first) out.push_back(',');
        first = false;
        text::write_json_string(column.name, out);
    }
}

// The constants as members, separated by commas.
void write_constants(const std::vector<Column>& columns, ByteBuffer& out) {
    bool first = true;
    for (const Column& column : columns) {
        if (column.fate != column_rules::ColumnFate::constant) continue;
        if (!first) out.push_back(',');
        first = false;
        text::write_json_string(column.name, out);
        out.push_back(':');
        json::write_json(*column.reference, out);
    }
}

// Appends the nulls of a row's positions from `from` up to `to`.
void append_nulls(std::size_t from, std::size_t to, ByteBuffer& out) {
    char* start = out.tail((to - from) * result_text::kNullTextSize);
    char* end = result_text::write_null_run(from, to, start);
    out.commit(static_cast<std::size_t>(end - start));
}

// Writes one array per row, separated by commas, with the row's value for every written column,
// null where it lacks the member. A row's slots are cleared once it is written, ready for the
// next row.
void write_rows(std::span<const JsonValue> rows, const std::vector<Column>& columns,
                const std::vector<std::size_t>& member_columns, std::size_t written_columns,
                ByteBuffer& out) {
    std::vector<const JsonValue*> slots(written_columns, nullptr);
    std::size_t next_member = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const JsonObject& row = rows[r].as_object();
        std::size_t row_start = next_member;
        for (const JsonMember& member : row) {
            std::size_t index = columns[member_columns[next_member++]].output_index;
            if (index != kNotWritten) slots[index] = &member.value;
        }
        if (r != 0) out.push_back(',');
        out.push_back('[');
        for (std::size_t i = 0; i < written_columns;) {
            if (slots[i] != nullptr) {
                if (i != 0) out.push_back(',');
                json::write_json(*slots[i], out);
                ++i;
                continue;
            }
            // Sparse rows are mostly null: a run of nulls is appended at once.
            std::size_t run = 1;
            while (i + run < written_columns && slots[i + run] == nullptr)
                ++run;
            append_nulls(i, i + run, out);
            i += run;
        }
        out.push_back(']');
        for (std::size_t m = row_start; m < next_member; ++m) {
            std::size_t index = columns[member_columns[m]].output_index;
            if (index != kNotWritten) slots[index] = nullptr;
        }
    }
}

}  // namespace

TransformOutcome columnarize_exact(std::string_view payload) {
    memory::Arena arena(json::reader_arena_first_block(payload.size()));
    json::ReadResult read = json::read_payload(payload, arena);
    if (!read.ok()) return failure(kInvalidPayloadPrefix, read.error);

    for (const JsonValue& element : read.rows) {
        if (!element.is_object()) return non_object_failure(element);
    }

    ColumnDiscovery discovery;
    for (std::size_t r = 0; r < read.rows.size(); ++r) {
        discovery.add_row(read.rows[r].as_object(), r == 0);
    }

    // Each column's fate (transform/column_rules.h), and the written columns' places.
    std::vector<Column>& columns = discovery.columns();
    std::size_t written_columns = 0;
    for (Column& column : columns) {
        column.fate = column_rules::column_fate(read.rows.size(), column.rows_holding,
                                                column.holds_non_null, column.matches_reference);
        if (column.fate == column_rules::ColumnFate::written) {
            column.output_index = written_columns++;
        }
    }

    TransformOutcome outcome{TransformOutcome::Kind::result, ByteBuffer(kResultInitialCapacity)};
    ByteBuffer& out = outcome.text;
    out.append(result_text::kBeforeColumns);
    write_column_names(columns, out);
    out.append(result_text::kBetweenColumnsAndRows);
    write_rows(read.rows, columns, discovery.member_columns(), written_columns, out);
    out.append(result_text::kBetweenRowsAndConstants);
    write_constants(columns, out);
    out.append(result_text::kAfterConstants);
    return outcome;
}

}  // namespace vantor::oracle
