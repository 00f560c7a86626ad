#pragma once
// Writing values from a tape: their compact JSON text. Text that is already output (integers,
// escape-free strings, floats in the float layout, literals) is copied; the rest is formed by the
// scalar writers (text/scalar_writer.h). The unchecked writers
// form text straight at a pointer with room for the value's bound plus kTapeWriteSlack; the
// checked ones reserve that room in a ByteBuffer first.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "memory/byte_buffer.h"
#include "tape/tape.h"
#include "text/float_text.h"
#include "text/scalar_writer.h"

namespace vantor::tape {

// Bytes the writers may touch beyond a value's bound: float texts are formed in a wider scratch
// area, escapes are copied eight bytes at a time, short texts sixteen bytes at a time.
inline constexpr std::size_t kTapeWriteSlack = 64;

namespace tape_writer_detail {

// Copies `size` bytes of payload text. Texts of up to a few hundred bytes go in blocks of
// sixteen, the last of which may read on into the payload's padding and write on into the slack:
// cheaper than a call to memcpy, which sorts its sizes out again.
inline constexpr std::size_t kBlockCopyLimit = 256;
inline char* copy_text(const char* text, std::size_t size, char* p) {
    static_assert(text::kTextPadding >= 16 && kTapeWriteSlack >= 16);
    if (size <= 16) {
        std::memcpy(p, text, 16);
    } else if (size <= kBlockCopyLimit) {
        for (std::size_t at = 0; at < size; at += 16)
            std::memcpy(p + at, text + at, 16);
    } else {
        std::memcpy(p, text, size);
    }
    return p + size;
}

}  // namespace tape_writer_detail

// What the unchecked writers read of a tape. A char store may alias any member of the tape, so
// the fields every value needs are taken once and travel by value, in registers, instead of
// being read from the tape again after each store.
struct TapeView {
    const Tape* tape;
    const Cell* cells;
    const char* payload;
    explicit TapeView(const Tape& from)
        : tape(&from), cells(from.cells()), payload(from.payload()) {}
    const char* payload_text(const Cell& cell) const { return payload + cell.text_offset(); }
};

// The length of a text in the tape's table of texts, which its cell holds unless it is too long.
[[gnu::always_inline]] inline std::size_t table_text_size(const Tape& tape, const Cell& cell) {
    return cell.text_size() == Cell::kSizeTooLong ? tape.text(cell).size() : cell.text_size();
}

// An upper bound of the length of a string cell's text: for a text in the table, the bound kept
// with it, which is its token's length (tape/tape_builder.h) and not six times its length, so
// that a payload's long strings ask for no more room than their own size.
[[gnu::always_inline]] inline std::size_t tape_string_bound(const Tape& tape, const Cell& cell) {
    if (cell.kind() == CellKind::string_text) return cell.text_size() + 2;
    return tape.table_string_bound(cell);
}

// The bound of a container without an extent, summed from its cells: each scalar's (a name's
// with its colon) or its brackets, and a separator.
std::size_t tape_container_bound_by_cells(const Tape& tape, std::uint32_t index);

// An upper bound of the length of the text of the value at `index`. A container's text is at most
// its payload text (whitespace goes, escapes never grow) plus a float text's length per cell.
[[gnu::always_inline]] inline std::size_t tape_value_bound(const Tape& tape, std::uint32_t index) {
    const Cell& cell = tape.cells()[index];
    switch (cell.kind()) {
        case CellKind::null:
        case CellKind::boolean_true:
        case CellKind::boolean_false:
            return 5;
        case CellKind::integer:
        case CellKind::float_text:
            return cell.text_size();
        case CellKind::integer_in_table:
            return table_text_size(tape, cell);
        case CellKind::string_text:
        case CellKind::string_decoded:
            return tape_string_bound(tape, cell);
        case CellKind::float_decimal:
        case CellKind::float_value:
            return text::kFloatTextCapacity;
        case CellKind::array:
        case CellKind::object:
            break;
    }
    if (!cell.has_extent()) [[unlikely]]
        return tape_container_bound_by_cells(tape, index);
    return tape.container_text_size(cell) +
           text::kFloatTextCapacity * static_cast<std::size_t>(cell.container_end() - index);
}

// A bound of the text of the value at `index` but for the numbers rewritten inside it
// (Tape::rewritten_numbers), which the caller bounds for many values at once: a container's text
// is then at most its payload text, for whitespace goes, escapes never grow and repeated names
// only drop members.
[[gnu::always_inline]] inline std::size_t tape_value_bound_but_numbers(const Tape& tape,
                                                                       std::uint32_t index) {
    const Cell& cell = tape.cells()[index];
    if (cell.is_container() && cell.has_extent()) return tape.container_text_size(cell);
    return tape_value_bound(tape, index);
}

// Writes a string cell (a value or a member name) at `p`.
inline char* write_tape_string_unchecked(TapeView tape, const Cell& cell, char* p) {
    if (cell.kind() == CellKind::string_text) {
        // The payload's own token, quotes included.
        return tape_writer_detail::copy_text(tape.payload_text(cell) - 1, cell.text_size() + 2, p);
    }
    return text::write_json_string_unchecked(tape.tape->text(cell), p);
}

// Writes the container at `index` cell by cell (those inside it that are verbatim as a span).
char* write_tape_container_unchecked(TapeView tape, std::uint32_t index, char* p);

// Writes the value at `index` at `p`.
inline char* write_tape_value_unchecked(TapeView tape, std::uint32_t index, char* p) {
    const Cell& cell = tape.cells[index];
    switch (cell.kind()) {
        case CellKind::null:
            std::memcpy(p, "null", 4);
            return p + 4;
        case CellKind::boolean_true:
            std::memcpy(p, "true", 4);
            return p + 4;
        case CellKind::boolean_false:
            std::memcpy(p, "false", 5);
            return p + 5;
        case CellKind::integer:
        case CellKind::float_text:
            return tape_writer_detail::copy_text(tape.payload_text(cell), cell.text_size(), p);
        case CellKind::integer_in_table: {
            const std::string_view text = tape.tape->text(cell);
            std::memcpy(p, text.data(), text.size());
            return p + text.size();
        }
        case CellKind::float_decimal:
            return p + text::format_decimal_text(
                           cell.decimal_negative(),
                           text::DecimalFloat{cell.decimal_significand(), cell.decimal_exponent()},
                           p);
        case CellKind::float_value:
            return p + text::format_float_text(tape.tape->float_value(cell), p);
        case CellKind::string_text:
        case CellKind::string_decoded:
            return write_tape_string_unchecked(tape, cell, p);
        case CellKind::array:
        case CellKind::object:
            break;
    }
    if (cell.verbatim()) {
        const std::string_view text = tape.tape->container_text(cell);
        return tape_writer_detail::copy_text(text.data(), text.size(), p);
    }
    return write_tape_container_unchecked(tape, index, p);
}

// Appends the text of the value at `index`.
inline void write_tape_value(const Tape& tape, std::uint32_t index, memory::ByteBuffer& out) {
    char* start = out.tail(tape_value_bound(tape, index) + kTapeWriteSlack);
    char* end = write_tape_value_unchecked(TapeView(tape), index, start);
    out.commit(static_cast<std::size_t>(end - start));
}

// Appends the text of a string cell (a member name).
inline void write_tape_string(const Tape& tape, const Cell& cell, memory::ByteBuffer& out) {
    char* start = out.tail(tape_string_bound(tape, cell) + kTapeWriteSlack);
    char* end = write_tape_string_unchecked(TapeView(tape), cell, start);
    out.commit(static_cast<std::size_t>(end - start));
}

}  // namespace vantor::tape
