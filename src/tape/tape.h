#pragma once
// The tape: a payload read into one flat array of 16-byte cells in document order, the compact
// form the fast transform works on. Scalars whose payload text is already their output text
// (integers, escape-free strings, floats in the writer's own layout, literals) keep a pointer to
// that text, so they are written by copying it; the others keep what the writer needs. A
// container's cell records where its contents end, so a whole value is skipped in one step.
//
// The tape owns its cells and the decoded text of strings with escapes; raw text points into the
// payload, which must outlive the tape.
//
// An example. The tape reader (tape/tape_reader.h) reads the 68-byte payload
//
//     [{"id":7,"name":"a\"b","tags":[1.5,null]},{"id":-8,"at":{"x":true}}]
//
// onto these cells. The rows' member names ("id", "name", "tags", "at") are not on the tape: they
// go to the row observer as they are read, so a row's cell is followed by its values alone.
// Names of objects nested inside rows are on it, each before its value.
//
//     cell  kind            tag above the kind   data
//     0     array           68 (text length)     end 12, offset 0    the top-level array
//     1     object          40                   end 7, offset 1     the first row
//     2     integer         1                    -> "7"
//     3     string_decoded  3                    -> a"b (the tape's own storage)
//     4     array           10, verbatim         end 7, offset 30
//     5     float_text      3                    -> "1.5"
//     6     null            0                    0
//     7     object          25                   end 12, offset 42   the second row
//     8     integer         2                    -> "-8"
//     9     object          10, verbatim         end 12, offset 56
//     10    string_text     1                    -> "x"              a nested object's name
//     11    boolean_true    0                    0
//
// "-> text" is a pointer into the payload unless said otherwise; "end" is the index of the first
// cell after the container, so value_end skips a whole value in one step; "verbatim" marks a value
// inside a row whose payload text is already its output, which the writers copy whole.
// tests/cpp/tape_support.h prints a tape in this form, and the tape tests hold this example to the
// reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "memory/arena.h"
#include "memory/huge_pages.h"
#include "text/padded_text.h"

namespace vantor::tape {

enum class CellKind : std::uint8_t {
    null,
    boolean_true,
    boolean_false,
    // An integer of the unsigned or signed class: `text` is its token, already its output.
    integer,
    // A float whose token is already its float text ("12.5", "100.0", "0.001").
    float_text,
    // A float read by one correctly rounded operation from a significand below 10^15 and a decimal
    // exponent of at most 22 in magnitude: the value is correctly rounded, so its shortest digits
    // are the significand's own and the text is laid out from them without a digit search.
    float_decimal,
    // Any other float: its binary64 value, written by the full float text.
    float_value,
    // A string without escapes: `text` is its content between the quotes, already its output.
    string_text,
    // A string with escapes: `text` is its decoded content, owned by the tape.
    string_decoded,
    array,
    object,
};

struct Cell {
    // Kind in the low 8 bits. Scalars with text: the text's length above them. float_decimal:
    // bit 8 the sign, bits 16..23 the exponent + 128. Containers: the length of the container's
    // payload text from bracket to bracket in bits 8..39 (a payload is under 4 GiB), and bit 63
    // set when that text is already the container's output text (kVerbatim).
    std::uint64_t tag;
    // Text pointer; float_decimal: the significand; float_value: the value's bits; containers:
    // the index of the first cell after the container (low 32 bits) and the payload offset of its
    // opening bracket (high 32 bits).
    std::uint64_t data;

    // A container whose text has no whitespace, no escapes, no number written otherwise and no
    // name given twice: written by copying its payload text.
    static constexpr std::uint64_t kVerbatim = std::uint64_t{1} << 63;

    CellKind kind() const { return static_cast<CellKind>(tag & 0xff); }
    std::size_t text_size() const { return static_cast<std::size_t>(tag >> 8); }
    const char* text_data() const { return reinterpret_cast<const char*>(data); }
    std::string_view text() const { return {text_data(), text_size()}; }

    bool is_container() const { return kind() >= CellKind::array; }
    std::uint32_t container_end() const { return static_cast<std::uint32_t>(data); }
    std::uint32_t container_offset() const { return static_cast<std::uint32_t>(data >> 32); }
    std::size_t container_text_size() const { return static_cast<std::uint32_t>(tag >> 8); }
    bool verbatim() const { return (tag & kVerbatim) != 0; }

    bool decimal_negative() const { return ((tag >> 8) & 1) != 0; }
    int decimal_exponent() const { return static_cast<int>((tag >> 16) & 0xff) - 128; }

    static Cell literal(CellKind kind) { return {static_cast<std::uint64_t>(kind), 0}; }
    static Cell with_text(CellKind kind, const char* text, std::size_t size) {
        return {static_cast<std::uint64_t>(kind) | (static_cast<std::uint64_t>(size) << 8),
                reinterpret_cast<std::uint64_t>(text)};
    }
    static Cell decimal(bool negative, std::uint64_t significand, int exponent) {
        return {static_cast<std::uint64_t>(CellKind::float_decimal) |
                    (static_cast<std::uint64_t>(negative) << 8) |
                    (static_cast<std::uint64_t>(exponent + 128) << 16),
                significand};
    }
};

// The end of the value whose cell is at `index`: the index of the cell after it.
inline std::uint32_t value_end(const Cell* cells, std::uint32_t index) {
    return cells[index].is_container() ? cells[index].container_end() : index + 1;
}

class Tape {
  public:
    Tape() = default;
    Tape(const Tape&) = delete;
    Tape& operator=(const Tape&) = delete;
    ~Tape() {
        if (cells_ != inline_cells_) memory::release_buffer(cells_);
    }

    // The payload the tape was read from; containers refer to their text by offset into it.
    const char* payload() const { return payload_; }
    // The payload is padded (text/padded_text.h): the writers copy its short texts in whole
    // blocks of sixteen bytes, which may read on into the padding.
    void set_payload(text::PaddedText payload) { payload_ = payload.data(); }
    std::string_view container_text(const Cell& cell) const {
        return {payload_ + cell.container_offset(), cell.container_text_size()};
    }

    const Cell* cells() const { return cells_; }
    Cell* cells() { return cells_; }
    std::size_t size() const { return size_; }

    // Room for `count` more cells. Large tapes are backed by huge pages where the system offers
    // them, which saves most of the page faults of filling fresh megabytes.
    void reserve_more(std::size_t count) {
        if (capacity_ - size_ >= count) return;
        grow(count);
    }
    // Where the tape reader writes: cells go to `next` until it meets `limit`. The reader keeps
    // the cursor in registers, so the transform's stores between its cells cannot make it reload
    // the tape's size from memory; it hands the cursor back with `set_end` before anything else
    // reads or changes the tape's size.
    struct Cursor {
        Cell* cells;
        Cell* next;
        Cell* limit;
        std::uint32_t index() const { return static_cast<std::uint32_t>(next - cells); }
    };
    Cursor cursor() { return {cells_, cells_ + size_, cells_ + capacity_}; }
    void set_end(const Cell* next) { size_ = static_cast<std::size_t>(next - cells_); }

    // Drops the cells from `size` on; rewriting the cells of the container closed last can
    // shorten it.
    void truncate(std::size_t size) { size_ = size; }

    // Storage for decoded strings; it lives as long as the tape.
    memory::Arena& strings() { return strings_; }

  private:
    void grow(std::size_t count) {
        std::size_t wanted = capacity_ * 2 > size_ + count ? capacity_ * 2 : size_ + count;
        if (wanted > SIZE_MAX / sizeof(Cell)) throw std::bad_alloc();
        auto* grown = static_cast<Cell*>(memory::allocate_buffer(wanted * sizeof(Cell)));
        if (grown == nullptr) throw std::bad_alloc();
        if (size_ != 0) std::memcpy(grown, cells_, size_ * sizeof(Cell));
        if (cells_ != inline_cells_) memory::release_buffer(cells_);
        cells_ = grown;
        capacity_ = wanted;
    }

    const char* payload_ = nullptr;
    // The smallest payloads fit the cells kept in the tape itself, and allocate none.
    static constexpr std::size_t kInlineCells = 24;
    Cell inline_cells_[kInlineCells];
    Cell* cells_ = inline_cells_;
    std::size_t size_ = 0;
    std::size_t capacity_ = kInlineCells;
    memory::Arena strings_{1024};
};

}  // namespace vantor::tape
