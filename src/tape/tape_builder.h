#pragma once
// The token builder: the tape (tape/tape.h) made from the tokens that the tape reader's walk
// (tape/tape_reader.h) finds, by the protocol in tape/walk_protocols.h. The walk knows the grammar
// and nothing of the output; the builder knows the tape and what each value's text will be. It
// decides a value's cell: a token kept as its own output text (an integer, a float in the float
// layout, an escape-free string), a decimal or a binary64 for other floats, a decoded string, and
// the other forms of texts that a cell cannot place (tape/tape_limits.h). It makes the frame of
// each container it opens (its cell and where its text starts), which the walk keeps on its stack
// and hands back when the container closes, and closes each with its extent, settles repeated names
// in the objects inside rows (tape/nested_object_settler.h), and marks as verbatim the values
// inside rows whose payload text is already their output, from the places where the walk found the
// text to be otherwise (whitespace) and those it found itself (escapes, numbers written otherwise).
//
// Cells go through the cursor that the walk keeps in registers and passes back by reference.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tape/nested_object_settler.h"
#include "tape/tape.h"
#include "tape/tape_limits.h"
#include "tape/walk_protocols.h"
#include "text/escaped_string.h"
#include "text/float_layout.h"
#include "text/json_limits.h"
#include "text/json_number.h"
#include "text/number_reader.h"
#include "text/number_scan.h"
#include "text/padded_text.h"
#include "text/read_error.h"
#include "text/string_reader.h"

namespace vantor::tape {

// Texts of integers and of floats in the float layout are shorter than this: a builder whose
// text size limit is at least this long needs to check only strings against it.
inline constexpr std::size_t kShortTextLimit = 64;

// Whether a payload of `payload_size` bytes needs the builder that checks every text against the
// tape's limits (TapeBuilder<true>): texts beyond the payload offsets a cell holds, or integers
// and floats longer than a cell's text.
inline bool needs_far_texts(std::size_t payload_size, const TapeLimits& limits) {
    return payload_size >= limits.offsets || limits.text_size < kShortTextLimit;
}

// kFarTexts: whether texts may lie beyond the payload offsets a cell holds, or integers and
// floats be longer than a cell's text, so that every text is checked (tape/tape_limits.h);
// compiled out of the builder of every other payload.
template <bool kFarTexts>
class TapeBuilder {
  public:
    using Cursor = Tape::Cursor;

    // A container the walk holds open: its cell, and where its text starts.
    struct Frame {
        std::uint32_t cell;
        bool object;
        const unsigned char* start;
    };

    TapeBuilder(std::string_view input, Tape& tape)
        : begin_(reinterpret_cast<const unsigned char*>(input.data())),
          end_(begin_ + input.size()),
          tape_(tape),
          limits_(tape.limits()),
          irregular_at_(begin_) {}

    Cursor cursor() { return tape_.cursor(); }
    void finish(const Cursor& out) { tape_.set_end(out.next); }

    // The payload's text at p is other than its output (whitespace).
    void blank(const unsigned char* p) { irregular_at_ = p; }

    // A container opens at p: its cell, completed when it closes.
    Frame open(Cursor& out, const unsigned char* p, bool object) {
        const Frame frame{out.index(), object, p};
        push(out, Cell::literal(object ? CellKind::object : CellKind::array));
        return frame;
    }

    // Closes the innermost container; `after` is just past its closing bracket. Objects inside
    // rows are settled here (rows meet repeated names in the transform).
    void close(Cursor& out, const unsigned char* after, const Frame& frame, bool inside_row) {
        const auto offset = static_cast<std::size_t>(frame.start - begin_);
        const auto size = static_cast<std::size_t>(after - frame.start);
        std::size_t extent = Cell::kNoExtent;
        if (tape_.extent_count() < limits_.extents &&
            (!kFarTexts || offset + size <= limits_.offsets)) [[likely]] {
            extent = tape_.add_extent(static_cast<std::uint32_t>(offset),
                                      static_cast<std::uint32_t>(size));
        }
        const CellKind kind = frame.object ? CellKind::object : CellKind::array;
        out.cells[frame.cell] = Cell::container(kind, false, extent, out.index());
        if (!inside_row) return;
        if (frame.object) {
            const Cell* before = out.next;
            settle_names(frame.cell, out);
            // Settling a repeated name drops cells: the object's text is no longer its output.
            if (out.next != before) irregular_at_ = after - 1;
        }
        // A value inside a row whose text nothing made irregular is written as it stands, when
        // its extent says where that text is.
        if (irregular_at_ < frame.start && extent != Cell::kNoExtent) {
            out.cells[frame.cell].bits |= Cell::kVerbatim;
        }
    }

    // An escape-free string's content of `size` bytes at `start`, shorter than sixteen bytes.
    [[gnu::always_inline]] void string(Cursor& out, const unsigned char* start, std::size_t size) {
        push(out, text_cell(CellKind::string_text, start, size));
    }

    // An escape-free string's content of any size.
    void long_string(Cursor& out, const unsigned char* start, std::size_t size) {
        push(out, long_string_cell(start, size));
    }

    // A string whose content starts at `start` and whose first backslash is at `backslash`,
    // decoded into the tape's storage. Returns the byte after its closing quote, or nullptr when
    // it is refused.
    const unsigned char* escaped_string(Cursor& out, const unsigned char* start,
                                        const unsigned char* backslash) {
        Cell cell;
        const unsigned char* after = decode_string(start, backslash, cell);
        if (after != nullptr) push(out, cell);
        return after;
    }

    // The same three for a row member's name, which goes to the row observer, not to the tape.
    [[gnu::always_inline]] MemberName name(const unsigned char* start, std::size_t size) {
        return {text_cell(CellKind::string_text, start, size), payload_text(start, size)};
    }
    MemberName long_name(const unsigned char* start, std::size_t size) {
        return {long_string_cell(start, size), payload_text(start, size)};
    }
    const unsigned char* escaped_name(const unsigned char* start, const unsigned char* backslash,
                                      MemberName& name) {
        const unsigned char* after = decode_string(start, backslash, name.cell);
        if (after != nullptr) name.text = tape_.text(name.cell);
        return after;
    }

    void literal(Cursor& out, Literal literal) {
        switch (literal) {
            case Literal::true_value:
                push(out, Cell::literal(CellKind::boolean_true));
                return;
            case Literal::false_value:
                push(out, Cell::literal(CellKind::boolean_false));
                return;
            case Literal::null:
                push(out, Cell::literal(CellKind::null));
                return;
        }
    }

    // The cell of a number token: an integer token needs no value at all (its text is its
    // output); a float token in the float layout needs none either; other floats get their
    // significand and exponent. Long tokens and floats beyond one correctly rounded operation go
    // through the number reader both readers share (text/number_reader.h). p moves past it; false
    // when the token is refused.
    [[gnu::always_inline]] bool number(Cursor& out, const unsigned char* start,
                                       const text::NumberToken& token, const unsigned char*& p) {
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
        if (!token.has_exponent() && digits <= text::kOwnShortestDigitsMax &&
            text::in_float_layout(fraction[fraction_digits - 1], fraction_digits,
                                  token.integer_is_zero(), leading_zeros)) {
            p = token.end;
            push(out, text_cell(CellKind::float_text, start, text_size));
            return true;
        }
        // An exponent of more digits than its value holds leaves this path (text/number_scan.h).
        const auto exponent = static_cast<std::int64_t>(token.exponent_magnitude);
        const std::int64_t decimal_exponent =
            (token.exponent_negative ? -exponent : exponent) - fraction_digits;
        if (digits > text::kOwnShortestDigitsMax ||
            decimal_exponent > text::kExactDecimalExponentMax ||
            decimal_exponent < -text::kExactDecimalExponentMax ||
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
    // Inlined wherever it is called: a call per value costs more than the push itself.
    [[gnu::always_inline]] void push(Cursor& out, Cell cell) {
        if (out.next == out.limit) [[unlikely]]
            out = grow(out);
        *out.next++ = cell;
    }

    [[gnu::noinline]] Cursor grow(const Cursor& out) {
        tape_.set_end(out.next);
        tape_.reserve_more(1);
        return tape_.cursor();
    }

    // Small objects with distinct names need nothing more. The settler is made with the first
    // other object inside a row: payloads without one, the smallest above all, pay nothing for
    // it. Settling may rewrite the object's cells and shorten the tape.
    [[gnu::noinline]] void settle_names(std::uint32_t object, Cursor& out) {
        if (small_object_with_distinct_names(tape_, object)) return;
        if (!object_keys_) object_keys_ = std::make_unique<ObjectKeySettler>();
        tape_.set_end(out.next);
        object_keys_->settle(tape_, object);
        out = tape_.cursor();
    }

    // A binary64 goes to the tape's table of them; its cell holds its place there.
    Cell float_cell(double value) {
        tape_.count_rewritten_number();
        return Cell::with_text(CellKind::float_value, tape_.add_float(value), 0);
    }

    std::string_view payload_text(const unsigned char* start, std::size_t size) const {
        return {reinterpret_cast<const char*>(start), size};
    }

    Cell long_string_cell(const unsigned char* start, std::size_t size) {
        return size < limits_.text_size ? text_cell(CellKind::string_text, start, size)
                                        : table_text_cell(CellKind::string_text, start, size);
    }

    // A string with escapes, decoded into the tape's storage: here when its escapes are the
    // common ones (text/escaped_string.h), else by the string reader both readers share
    // (text/string_reader.h). Written again it is no longer than its token: every byte the
    // writer escapes (a quote, a backslash, a control byte) stood escaped in the payload in a
    // form at least as long, and every other escape writes shorter than it reads. Returns the
    // byte after the closing quote, or nullptr when the string is refused.
    [[gnu::noinline]] const unsigned char* decode_string(const unsigned char* start,
                                                         const unsigned char* backslash,
                                                         Cell& cell) {
        std::string_view decoded;
        const unsigned char* after =
            text::decode_common_escapes(start, backslash, end_, tape_.strings(), decoded);
        if (after == nullptr) {
            after = start;
            text::ReadError error;
            if (!text::read_string(begin_, after, end_, scratch_, tape_.strings(), decoded,
                                   error)) {
                return nullptr;
            }
        }
        irregular_at_ = start;
        const auto token_size = static_cast<std::size_t>(after - 1 - start);
        cell = Cell::in_table(CellKind::string_decoded, tape_.add_text(decoded, token_size + 2),
                              decoded.size());
        return after;
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
                                                    const unsigned char*& p, Cursor& out) {
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
    // Where the string reader builds a decoded string it cannot build in place.
    std::string scratch_;
    // The last place where the text is other than its output (whitespace, an escape, a number
    // written otherwise, a repeated name dropped): a container inside a row that closes with none
    // since it opened is marked Cell::kVerbatim. Nested containers open after begin_.
    const unsigned char* irregular_at_;
};

}  // namespace vantor::tape
