#pragma once
// What the tests of the tape need beside the module's code: a tape read without a row observer,
// and the cells of a tape as text, one line per cell (the kind, then what the cell holds: its
// text, its container's end and payload offset, or its value). The worked example in tape.h is
// checked against this form.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "tape/read_tape.h"
#include "tape/tape.h"
#include "text/padded_text.h"

namespace vantor::tape {

// An observer that only lets rows be read.
struct IgnoreRows {
    void row_begin() {}
    std::string_view expected_name() const { return {}; }
    void expected_member() {}
    void member(const MemberName&) {}
    void member_value(std::uint32_t) {}
    void row_end() {}
    void non_object_row(std::uint32_t) {}
};

// Reads `input` (a top-level array) onto `tape`, which must be empty. Cell 0 is the top-level
// array. Returns false when the payload is refused. The tape refers
// to `input`, which must outlive it.
inline bool read_tape(text::PaddedText input, Tape& tape) {
    IgnoreRows rows;
    return read_tape(input, tape, rows);
}

inline const char* cell_kind_name(CellKind kind) {
    switch (kind) {
        case CellKind::null:
            return "null";
        case CellKind::boolean_true:
            return "boolean_true";
        case CellKind::boolean_false:
            return "boolean_false";
        case CellKind::integer:
            return "integer";
        case CellKind::float_text:
            return "float_text";
        case CellKind::float_decimal:
            return "float_decimal";
        case CellKind::float_value:
            return "float_value";
        case CellKind::string_text:
            return "string_text";
        case CellKind::string_decoded:
            return "string_decoded";
        case CellKind::integer_in_table:
            return "integer_in_table";
        case CellKind::array:
            return "array";
        case CellKind::object:
            return "object";
    }
    return "?";
}

// One cell: "array size=68 end=12 offset=0", "integer 7", "float_decimal -125e-2", ...
inline std::string describe_cell(const Tape& tape, const Cell& cell) {
    std::string line = cell_kind_name(cell.kind());
    char number[64];
    switch (cell.kind()) {
        case CellKind::integer:
        case CellKind::float_text:
        case CellKind::string_text:
        case CellKind::string_decoded:
        case CellKind::integer_in_table:
            line += ' ';
            line += tape.text(cell);
            break;
        case CellKind::float_decimal:
            std::snprintf(number, sizeof number, " %s%llue%d", cell.decimal_negative() ? "-" : "",
                          static_cast<unsigned long long>(cell.decimal_significand()),
                          cell.decimal_exponent());
            line += number;
            break;
        case CellKind::float_value:
            std::snprintf(number, sizeof number, " %.17g", tape.float_value(cell));
            line += number;
            break;
        case CellKind::array:
        case CellKind::object:
            if (!cell.has_extent()) {
                std::snprintf(number, sizeof number, " end=%u no extent", cell.container_end());
                line += number;
                break;
            }
            std::snprintf(number, sizeof number, " size=%zu end=%u offset=%u",
                          tape.container_text_size(cell), cell.container_end(),
                          static_cast<unsigned>(tape.container_text(cell).data() - tape.payload()));
            line += number;
            if (cell.verbatim()) line += " verbatim";
            break;
        default:
            break;
    }
    return line;
}

// Every cell of `tape`, "index: description" a line.
inline std::string describe_tape(const Tape& tape) {
    std::string text;
    for (std::size_t i = 0; i < tape.size(); ++i) {
        text += std::to_string(i) + ": " + describe_cell(tape, tape.cells()[i]) + "\n";
    }
    return text;
}

}  // namespace vantor::tape
