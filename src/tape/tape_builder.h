#pragma once
// The tape builder: the cells of the tokens that the tape reader (tape/tape_reader.h) walks over.
// The reader knows the grammar and nothing of the output; the builder knows the tape and what
// each value's text will be. It decides a value's cell: a token kept as its own output text (an
// integer, a float in the float layout, an escape-free string), a decimal or a binary64 for other
// floats, a decoded string, and the other forms of texts that a cell cannot place
// (tape/tape_limits.h). It closes containers with their extents, settles repeated names in the
// objects inside rows (tape/repeated_names.h), and marks as verbatim the values inside rows whose
// payload text is already their output, from the places where the reader found the text to be
// otherwise (whitespace) and those it found itself (escapes, numbers written otherwise).
//
// Cells go through the reader's cursor (Tape::Cursor), which the reader keeps in registers and
// passes by reference.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "tape/repeated_names.h"
#include "tape/tape.h"
#include "tape/tape_limits.h"
#include "text/json_limits.h"
#include "text/json_number.h"
#include "text/number_reader.h"
#include "text/number_scan.h"
#include "text/read_error.h"

namespace vantor::tape {

// Texts of integers and of floats in the float layout are shorter than this: a builder whose
// text size limit is at least this long needs to check only strings against it.
inline constexpr std::size_t kShortTextLimit = 64;

// kFarTexts: whether texts may lie beyond the payload offsets a cell holds, or integers and
// floats be longer than a cell's text, so that every text is checked (tape/tape_limits.h);
// compiled out of the builder of every other payload.
template <bool kFarTexts>
class TapeBuilder {
  public:
    TapeBuilder(const unsigned char* begin, const unsigned char* end, Tape& tape)
        : begin_(begin), end_(end), tape_(tape), limits_(tape.limits()), irregular_at_(begin) {}

    // The payload's text at p is other than its output (whitespace).
    void irregular_at(const unsigned char* p) { irregular_at_ = p; }

    // Inlined wherever it is called: a call per value costs more than the push itself.
    [[gnu::always_inline]] void push(Tape::Cursor& out, Cell cell) {
        if (out.next == out.limit) [[unlikely]]
            out = grow(out);
        *out.next++ = cell;
    }

    // A container opens: its cell, completed when it closes.
    void open(bool object, Tape::Cursor& out) {
        push(out, Cell::literal(object ? CellKind::object : CellKind::array));
    }

    // Closes the container whose cell is `cell` and whose text starts at `start`; p is just past
    // its closing bracket. Objects inside rows are settled here (rows meet repeated names in the
    // transform).
    void close(std::uint32_t cell, const unsigned char* start, bool object, const unsigned char* p,
               bool inside_row, Tape::Cursor& out) {
        const auto offset = static_cast<std::size_t>(start - begin_);
        const auto size = static_cast<std::size_t>(p - start);
        std::size_t extent = Cell::kNoExtent;
        if (tape_.extent_count() < limits_.extents &&
            (!kFarTexts || offset + size <= limits_.offsets)) [[likely]] {
            extent = tape_.add_extent(static_cast<std::uint32_t>(offset),
                                      static_cast<std::uint32_t>(size));
        }
        const CellKind kind = object ? CellKind::object : CellKind::array;
        out.cells[cell] = Cell::container(kind, false, extent, out.index());
        if (!inside_row) return;
        if (object) {
            const Cell* before = out.next;
            settle_keys(cell, out);
            // Settling a repeated name drops cells: the object's text is no longer its output.
            if (out.next != before) irregular_at_ = p - 1;
        }
        // A value inside a row whose text nothing made irregular is written as it stands, when
        // its extent says where that text is.
        if (irregular_at_ < start && extent != Cell::kNoExtent) {
            out.cells[cell].bits |= Cell::kVerbatim;
        }
    }

    // An escape-free string's content of `size` bytes at `start`, shorter than sixteen bytes.
    [[gnu::always_inline]] Cell string(const unsigned char* start, std::size_t size) {
        return text_cell(CellKind::string_text, start, size);
    }

    // An escape-free string's content of any size.
    Cell long_string(const unsigned char* start, std::size_t size) {
        return size < limits_.text_size ? text_cell(CellKind::string_text, start, size)
                                        : table_text_cell(CellKind::string_text, start, size);
    }

    // A string with escapes, whose content of `token_size` bytes starts at `start`, decoded into
    // the tape's storage. Written again it is no longer than its token: every byte the writer
    // escapes (a quote, a backslash, a control byte) stood escaped in the payload in a form at
    // least as long, and every other escape writes shorter than it reads.
    Cell decoded_string(const unsigned char* start, std::string_view decoded,
                        std::size_t token_size) {
        irregular_at_ = start;
        return Cell::in_table(CellKind::string_decoded, tape_.add_text(decoded, token_size + 2),
                              decoded.size());
    }

    // The cell of a number token: an integer token needs no value at all (its text is its
    // output); a float token in the float layout needs none either; other floats get their
    // significand and exponent. Long tokens and floats beyond one correctly rounded operation go
    // through the number reader both readers share (text/number_reader.h). p moves past it; false
    // when the token is refused.
    [[gnu::always_inline]] bool number(const unsigned char* start, const text::NumberToken& token,
                                       const unsigned char*& p, Tape::Cursor& out) {
        auto text_size = static_cast<std::size_t>(token.end - start);
        switch (token.number_class) {
            case text::NumberClass::refused:
                return false;
            case text::NumberClass::integer:
                // Its token is already its output text.
                p = token.end;
                push(out, text_cell(CellKind::integer, start, text_size));
                return true;
            case text::NumberClass::negative_zero:
                p = token.end;
                irregular_at_ = start;
                push(out, float_cell(-0.0));
                return true;
            case text::NumberClass::integer_beyond_64_bits:
                return read_number_in_full(start, p, out);
            case text::NumberClass::fraction_or_exponent:
                break;
        }
        const unsigned char* fraction = token.fraction;
        auto fraction_digits = static_cast<std::int64_t>(token.fraction_digits());
        // Significant digits: a zero integer part contributes none, nor do the zeros that lead
        // its fraction.
        std::int64_t integer_digits = 0;
        std::int64_t leading_zeros = 0;
        if (token.integer_is_zero()) {
            while (leading_zeros < fraction_digits && fraction[leading_zeros] == '0')
                ++leading_zeros;
        } else {
            integer_digits = static_cast<std::int64_t>(token.integer_digits());
        }
        std::int64_t digits = integer_digits + fraction_digits - leading_zeros;
        if (digits == 0) {
            // A zero: "0.0" and "-0.0" are their own float text; any other zero is written "0.0".
            p = token.end;
            if (!token.has_exponent() && fraction_digits == 1) {
                push(out, text_cell(CellKind::float_text, start, text_size));
            } else {
                irregular_at_ = start;
                push(out, float_cell(token.negative ? -0.0 : 0.0));
            }
            return true;
        }
        if (!token.has_exponent() && digits <= 15 &&
            in_float_layout(fraction[fraction_digits - 1], fraction_digits, token.integer_is_zero(),
                            leading_zeros)) {
            p = token.end;
            push(out, text_cell(CellKind::float_text, start, text_size));
            return true;
        }
        // An exponent of more digits than its value holds leaves this path (text/number_scan.h).
        const auto exponent = static_cast<std::int64_t>(token.exponent_magnitude);
        const std::int64_t decimal_exponent =
            (token.exponent_negative ? -exponent : exponent) - fraction_digits;
        if (digits > 15 || decimal_exponent > kDecimalExponentLimit ||
            decimal_exponent < -kDecimalExponentLimit ||
            token.exponent_digits() > text::kExactExponentDigits) {
            return read_number_in_full(start, p, out);
        }
        std::uint64_t significand = text::append_digits(0, token.integer, token.integer_end);
        significand = text::append_digits(significand, fraction, token.fraction_end);
        p = token.end;
        irregular_at_ = start;
        tape_.count_rewritten_number();
        push(out, Cell::decimal(token.negative, significand, static_cast<int>(decimal_exponent)));
        return true;
    }

  private:
    [[gnu::noinline]] Tape::Cursor grow(const Tape::Cursor& out) {
        tape_.set_end(out.next);
        tape_.reserve_more(1);
        return tape_.cursor();
    }

    // Floats of at most 15 significant digits (a significand below 10^15) whose decimal exponent
    // is at most 22 in magnitude are read with one exact operation, hence correctly rounded.
    static constexpr int kDecimalExponentLimit = 22;

    // Small objects with distinct names need nothing more. The settler is made with the first
    // other object inside a row: payloads without one, the smallest above all, pay nothing for
    // it. Settling may rewrite the object's cells and shorten the tape.
    [[gnu::noinline]] void settle_keys(std::uint32_t object, Tape::Cursor& out) {
        if (small_object_with_distinct_names(tape_, object)) return;
        if (!object_keys_) object_keys_ = std::make_unique<ObjectKeySettler>();
        tape_.set_end(out.next);
        object_keys_->settle(tape_, object);
        out = tape_.cursor();
    }

    // Whether a token with a point and no exponent, of a non-zero value with at most 15
    // significant digits (so its shortest digits are its own), is laid out as the float text
    // would lay it out: no trailing zero in the fraction unless the fraction is a single zero
    // after a non-zero integer part, and below 1 no more than four zeros after the point
    // (0.00001 is positional, 0.000001 is not: text/json_limits.h).
    static bool in_float_layout(unsigned char last_fraction_digit, std::int64_t fraction_digits,
                                bool integer_zero, std::int64_t leading_zeros) {
        if (last_fraction_digit == '0') return fraction_digits == 1 && !integer_zero;
        return !integer_zero || leading_zeros <= -text::kPositionalExponentMin - 1;
    }

    // A binary64 goes to the tape's table of them; its cell holds its place there.
    Cell float_cell(double value) {
        tape_.count_rewritten_number();
        return Cell::with_text(CellKind::float_value, tape_.add_float(value), 0);
    }

    std::size_t offset(const unsigned char* at) const {
        return static_cast<std::size_t>(at - begin_);
    }

    // The cell of a text of `size` bytes at `start` (an integer's or a float's token, or an
    // escape-free string's content), in its other form where a cell cannot place it.
    [[gnu::always_inline]] Cell text_cell(CellKind kind, const unsigned char* start,
                                          std::size_t size) {
        if constexpr (kFarTexts) {
            if (offset(start) + size > limits_.offsets || size >= limits_.text_size) [[unlikely]]
                return table_text_cell(kind, start, size);
        }
        return Cell::with_text(kind, offset(start), size);
    }

    // A text's other form: the text itself in the tape's table of texts, which string_decoded
    // and integer_in_table cells read and write as they would the payload's text (an escape-free
    // string's content is its own decoded text); a float in the float layout, whose token is the
    // float text of its value, as that value.
    [[gnu::noinline]] Cell table_text_cell(CellKind kind, const unsigned char* start,
                                           std::size_t size) {
        const std::string_view text(reinterpret_cast<const char*>(start), size);
        switch (kind) {
            case CellKind::string_text:
                // An escape-free string is written as it stands.
                return Cell::in_table(CellKind::string_decoded, tape_.add_text(text, size + 2),
                                      size);
            case CellKind::integer:
                return Cell::in_table(CellKind::integer_in_table, tape_.add_text(text), size);
            default:
                break;
        }
        const unsigned char* cursor = start;
        text::JsonNumber number = text::JsonNumber::from_float(0.0);
        text::ReadError error;
        text::read_number(begin_, cursor, end_, number, error);  // read once already
        return float_cell(number.float_value());
    }

    // Out of line: a call that takes p's address would keep p in memory everywhere.
    [[gnu::always_inline]] bool read_number_in_full(const unsigned char* start,
                                                    const unsigned char*& p, Tape::Cursor& out) {
        Cell number{};
        const unsigned char* after = read_number_in_full(start, number);
        if (after == nullptr) return false;
        p = after;
        push(out, number);
        return true;
    }

    // The number token at `start` read in full into `out`; returns the byte after it, or nullptr
    // when it is refused.
    [[gnu::noinline]] const unsigned char* read_number_in_full(const unsigned char* start,
                                                               Cell& out) {
        const unsigned char* cursor = start;
        text::JsonNumber number = text::JsonNumber::from_unsigned(0);
        text::ReadError error;
        if (!text::read_number(begin_, cursor, end_, number, error)) return nullptr;
        if (number.variant() == text::JsonNumber::Variant::float64) {
            irregular_at_ = start;
            out = float_cell(number.float_value());
        } else {
            out = text_cell(CellKind::integer, start, static_cast<std::size_t>(cursor - start));
        }
        return cursor;
    }
    const unsigned char* begin_;
    const unsigned char* end_;
    Tape& tape_;
    const TapeLimits limits_;
    std::unique_ptr<ObjectKeySettler> object_keys_;
    // The last place where the text is other than its output (whitespace, an escape, a number
    // written otherwise, a repeated name dropped): a container inside a row that closes with none
    // since it opened is marked Cell::kVerbatim. Nested containers open after begin_.
    const unsigned char* irregular_at_;
};

}  // namespace vantor::tape
