// The reference transform over the value model, written from the transform's rules in their
// plainest form and sharing none of the product's column rules, tables or result text: a map
// from name to column, the all-null and constant tests as stated, the framing spelled out here.
#include "oracle/exact_transform.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "memory/arena.h"
#include "oracle/exact_column_values.h"
#include "oracle/string_text.h"
#include "oracle/value.h"
#include "oracle/value_reader.h"
#include "oracle/writer.h"

namespace vantor::oracle {
namespace {

using json::JsonMember;
using json::JsonObject;
using json::JsonValue;
using memory::ByteBuffer;

constexpr std::size_t kResultInitialCapacity = 128;

ExactOutcome failure(std::string_view prefix, std::string_view detail) {
    return ExactOutcome{true, std::string(prefix) + std::string(detail)};
}

ExactOutcome non_object_failure(const JsonValue& element) {
    ByteBuffer text(kResultInitialCapacity);
    text.append("expected a JSON object row, got: ");
    json::write_json(element, text);
    return ExactOutcome{true, std::string(text.view())};
}

// Every name of every row, once, in order of first appearance, and each name's column.
struct ColumnList {
    std::vector<std::string_view> names;
    std::unordered_map<std::string_view, std::size_t> column_of;

    explicit ColumnList(std::span<const JsonValue> rows) {
        for (const JsonValue& row : rows) {
            for (const JsonMember& member : row.as_object()) {
                if (column_of.try_emplace(member.name, names.size()).second) {
                    names.push_back(member.name);
                }
            }
        }
    }

    // One row's value for every column, nullptr where the row lacks the member.
    void values_of(const JsonObject& row, std::vector<const JsonValue*>& values) const {
        values.assign(names.size(), nullptr);
        for (const JsonMember& member : row)
            values[column_of.at(member.name)] = &member.value;
    }
};

enum class Fate { all_null, constant, written };

// Each column's fate. A column is all-null when every row lacks it or holds null; the others,
// given two rows at the least, are constant when every row's value (null where it lacks the
// member) equals the first row's.
std::vector<Fate> column_fates(std::span<const JsonValue> rows, const ColumnList& columns) {
    const std::size_t count = columns.names.size();
    std::vector<bool> all_null(count, true);
    std::vector<bool> matches_first(count, true);
    std::vector<const JsonValue*> first;
    std::vector<const JsonValue*> values;
    const JsonValue null = JsonValue::null();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        columns.values_of(rows[r].as_object(), values);
        if (r == 0) first = values;
        for (std::size_t c = 0; c < count; ++c) {
            const JsonValue& value = values[c] != nullptr ? *values[c] : null;
            const JsonValue& reference = first[c] != nullptr ? *first[c] : null;
            if (!value.is_null()) all_null[c] = false;
            if (matches_first[c] && !column_values_equal(reference, value)) {
                matches_first[c] = false;
            }
        }
    }
    std::vector<Fate> fates(count, Fate::written);
    for (std::size_t c = 0; c < count; ++c) {
        if (all_null[c]) {
            fates[c] = Fate::all_null;
        } else if (rows.size() >= 2 && matches_first[c]) {
            fates[c] = Fate::constant;
        }
    }
    return fates;
}

void write_result(std::span<const JsonValue> rows, const ColumnList& columns,
                  const std::vector<Fate>& fates, ByteBuffer& out) {
    const std::size_t count = columns.names.size();
    out.append("{\"columns\":[");
    bool first_name = true;
    for (std::size_t c = 0; c < count; ++c) {
        if (fates[c] != Fate::written) continue;
        if (!first_name) out.push_back(',');
        first_name = false;
        write_quoted(columns.names[c], out);
    }
    out.append("],\"rows\":[");
    std::vector<const JsonValue*> values;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (r != 0) out.push_back(',');
        out.push_back('[');
        columns.values_of(rows[r].as_object(), values);
        bool first_value = true;
        for (std::size_t c = 0; c < count; ++c) {
            if (fates[c] != Fate::written) continue;
            if (!first_value) out.push_back(',');
            first_value = false;
            if (values[c] != nullptr) {
                json::write_json(*values[c], out);
            } else {
                out.append("null");
            }
        }
        out.push_back(']');
    }
    out.append("],\"constants\":{");
    bool first_constant = true;
    for (std::size_t c = 0; c < count; ++c) {
        if (fates[c] != Fate::constant) continue;
        if (!first_constant) out.push_back(',');
        first_constant = false;
        write_quoted(columns.names[c], out);
        out.push_back(':');
        json::write_json(*rows[0].as_object().find(columns.names[c]), out);
    }
    out.append("}}");
}

}  // namespace

ExactOutcome columnarize_exact(std::string_view payload) {
    memory::Arena arena(json::reader_arena_first_block(payload.size()));
    json::ReadResult read = json::read_payload(payload, arena);
    if (!read.ok()) return failure("invalid row-oriented JSON: ", read.error);
    for (const JsonValue& element : read.rows) {
        if (!element.is_object()) return non_object_failure(element);
    }
    const ColumnList columns(read.rows);
    const std::vector<Fate> fates = column_fates(read.rows, columns);
    ByteBuffer text(kResultInitialCapacity);
    write_result(read.rows, columns, fates, text);
    return ExactOutcome{false, std::string(text.view())};
}

}  // namespace vantor::oracle
