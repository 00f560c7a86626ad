#pragma once
// The tape: a payload read into one flat array of 8-byte cells in document order, the compact
// form the transform works on. Scalars whose payload text is already their output text
// (integers, escape-free strings, floats in the writer's own layout) keep where that text is, so
// they are written by copying it; the others keep what the writer needs, in the cell or in a
// table beside the cells. A container's cell records where its contents end, so a whole value is
// skipped in one step.
//
// The tape owns its cells, its tables and the decoded text of strings with escapes; text cells
// refer to the payload by offset, and the payload must outlive the tape.
//
// An example. The tape reader (tape/tape_reader.h) reads the 68-byte payload
//
//     [{"id":7,"name":"a\"b","tags":[1.5,null]},{"id":-8,"at":{"x":true}}]
//
// onto these cells. The rows' member names ("id", "name", "tags", "at") are not on the tape: they
// go to the row observer as they are read, so a row's cell is followed by its values alone.
// Names of objects nested inside rows are on it, each before its value.
//
//     cell  kind            what it holds
//     0     array           end 12, extent 4: offset 0, 68 bytes     the top-level array
//     1     object          end 7, extent 1: offset 1, 40 bytes      the first row
//     2     integer         "7" at offset 7
//     3     string_decoded  decoded string 0: a"b
//     4     array           end 7, extent 0: offset 30, 10 bytes, verbatim
//     5     float_text      "1.5" at offset 31
//     6     null
//     7     object          end 12, extent 3: offset 42, 25 bytes     the second row
//     8     integer         "-8" at offset 48
//     9     object          end 12, extent 2: offset 56, 10 bytes, verbatim
//     10    string_text     "x" at offset 58                         a nested object's name
//     11    boolean_true
//
// "end" is the index of the first cell after the container, so value_end skips a whole value in
// one step; extents are numbered in the order their containers close; "verbatim" marks a value
// inside a row whose payload text is already its output, which the writers copy whole.
// tests/cpp/tape_support.h prints a tape in this form, and the tape tests hold this example to the
// reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "memory/arena.h"
#include "memory/scratch_area.h"
#include "memory/table_storage.h"
#include "tape/tape_limits.h"
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
    // A string with escapes: `text` is its decoded content, owned by the tape; or a string whose
    // payload text a text cell cannot reach (tape/tape_limits.h), which is its content as well.
    string_decoded,
    // An integer whose token a text cell cannot reach: kept in the table of texts.
    integer_in_table,
    array,
    object,
};

// A cell is one 64-bit word: the kind in its top four bits, the rest as the kind says. The low
// 32 bits hold what most reads want (a text's payload offset, a container's end), so that taking
// them costs no shift.
//     integer, float_text, string_text   bits 0..31 the text's payload offset, bits 32..59 its
//                                        length
//     string_decoded, integer_in_table   bits 0..31 its place in the tape's table of texts, bits
//                                        32..59 its length, or kSizeTooLong
//     float_value                        bits 0..31 its place in the tape's table of binary64s
//     float_decimal                      bits 0..49 the significand (below 10^15), bits 50..57 the
//                                        exponent + 128, bit 58 the sign
//     array, object                      bits 0..31 the index of the first cell after it, bits
//                                        32..58 its place in the tape's table of extents (payload
//                                        offset and text length), or kNoExtent, bit 59 kVerbatim
// Offsets, sizes and indexes that these fields cannot hold take the other forms that
// tape/tape_limits.h names.
struct Cell {
    std::uint64_t bits;

    // A container whose text has no whitespace, no escapes, no number written otherwise and no
    // name given twice: written by copying its payload text.
    static constexpr std::uint64_t kVerbatim = std::uint64_t{1} << 59;
    // The text size of a text in the table too long for the cell (tape/tape_limits.h).
    static constexpr std::size_t kSizeTooLong = 0x0fffffff;
    // The extent of a container that has none (tape/tape_limits.h).
    static constexpr std::uint32_t kNoExtent = (std::uint32_t{1} << 27) - 1;

    CellKind kind() const { return static_cast<CellKind>(bits >> 60); }
    std::size_t text_size() const { return static_cast<std::size_t>((bits >> 32) & 0x0fffffff); }
    // The payload offset of a text, or the place of a decoded string or a binary64 in its table.
    std::uint32_t text_offset() const { return static_cast<std::uint32_t>(bits); }

    bool is_container() const { return kind() >= CellKind::array; }
    std::uint32_t container_end() const { return static_cast<std::uint32_t>(bits); }
    std::uint32_t extent_index() const {
        return static_cast<std::uint32_t>(bits >> 32) & 0x07ffffff;
    }
    bool verbatim() const { return (bits & kVerbatim) != 0; }
    bool has_extent() const { return extent_index() != kNoExtent; }
    // The same container ending at `end`: settling repeated names moves cells.
    Cell with_end(std::uint32_t end) const { return {(bits & ~std::uint64_t{0xffffffff}) | end}; }

    bool decimal_negative() const { return ((bits >> 58) & 1) != 0; }
    int decimal_exponent() const { return static_cast<int>((bits >> 50) & 0xff) - 128; }
    std::uint64_t decimal_significand() const { return bits & ((std::uint64_t{1} << 50) - 1); }

    static Cell literal(CellKind kind) { return {kind_bits(kind)}; }
    // A text kept at `place` in the tape's table of texts, with its length where the cell can
    // hold it.
    static Cell in_table(CellKind kind, std::size_t place, std::size_t size) {
        return with_text(kind, place, size < kSizeTooLong ? size : kSizeTooLong);
    }
    // `offset` into the payload, or into a table; `size` within TapeLimits::text_size.
    static Cell with_text(CellKind kind, std::size_t offset, std::size_t size) {
        return {kind_bits(kind) | (static_cast<std::uint64_t>(size) << 32) |
                static_cast<std::uint64_t>(offset)};
    }
    static Cell decimal(bool negative, std::uint64_t significand, int exponent) {
        return {kind_bits(CellKind::float_decimal) | (static_cast<std::uint64_t>(negative) << 58) |
                (static_cast<std::uint64_t>(exponent + 128) << 50) | significand};
    }
    // A container's cell once it closed.
    static Cell container(CellKind kind, bool verbatim, std::size_t extent, std::uint32_t end) {
        return {kind_bits(kind) | (verbatim ? kVerbatim : 0) |
                (static_cast<std::uint64_t>(extent) << 32) | end};
    }

  private:
    static constexpr std::uint64_t kind_bits(CellKind kind) {
        return static_cast<std::uint64_t>(kind) << 60;
    }
};
static_assert(sizeof(Cell) == 8);

// Where a container's text lies in the payload, from bracket to bracket.
struct Extent {
    std::uint32_t offset;
    std::uint32_t size;
};

// The end of the value whose cell is at `index`: the index of the cell after it.
inline std::uint32_t value_end(const Cell* cells, std::uint32_t index) {
    return cells[index].is_container() ? cells[index].container_end() : index + 1;
}

class Tape {
  public:
    // A tape whose cells and tables live in `area` while it has room (memory/scratch_area.h).
    explicit Tape(memory::ScratchArea* area = nullptr, const TapeLimits& limits = TapeLimits())
        : limits_(limits),
          cells_(area, inline_cells_, kInlineCells),
          strings_(area, 1024),
          extents_(area, inline_extents_, kInlineExtents),
          texts_(memory::ScratchAllocator<TableText>(area)),
          floats_(memory::ScratchAllocator<double>(area)) {}
    Tape(const Tape&) = delete;
    Tape& operator=(const Tape&) = delete;

    // The payload the tape was read from; text cells and extents refer to it by offset.
    const char* payload() const { return payload_; }
    // The payload is padded (text/padded_text.h): the writers copy its short texts in whole
    // blocks of sixteen bytes, which may read on into the padding.
    void set_payload(text::PaddedText payload) { payload_ = payload.data(); }

    const TapeLimits& limits() const { return limits_; }

    // The text of an integer, a float_text or a string cell.
    std::string_view text(const Cell& cell) const {
        if (text_in_table(cell)) [[unlikely]]
            return texts_[cell.text_offset()].text;
        return {payload_ + cell.text_offset(), cell.text_size()};
    }
    // Whether a cell's text is in the table of texts rather than at its payload offset.
    static bool text_in_table(const Cell& cell) {
        return cell.kind() == CellKind::string_decoded || cell.kind() == CellKind::integer_in_table;
    }
    // The text of a cell known to be in the payload: an integer, a float_text or a string_text.
    const char* payload_text(const Cell& cell) const { return payload_ + cell.text_offset(); }
    double float_value(const Cell& cell) const { return floats_[cell.text_offset()]; }
    // A container with an extent (Cell::has_extent).
    std::string_view container_text(const Cell& cell) const {
        const Extent& extent = extents_.data()[cell.extent_index()];
        return {payload_ + extent.offset, extent.size};
    }
    std::size_t container_text_size(const Cell& cell) const {
        return extents_.data()[cell.extent_index()].size;
    }

    // The tables beside the cells. Each returns the new entry's place.
    // A string's text comes with a bound of the length of its JSON string, quotes included.
    std::size_t add_text(std::string_view text, std::size_t written_bound = 0) {
        texts_.push_back(TableText{text, written_bound});
        return texts_.size() - 1;
    }
    // The bound add_text was given with a string's text in the table.
    std::size_t table_string_bound(const Cell& cell) const {
        return texts_[cell.text_offset()].written_bound;
    }
    // Out of line: floats written otherwise are rare, and the walk's loop is better without their
    // table's growth.
    [[gnu::noinline]] std::size_t add_float(double value) {
        floats_.push_back(value);
        return floats_.size() - 1;
    }
    std::size_t add_extent(std::uint32_t offset, std::uint32_t size) {
        if (extent_count_ == extents_.capacity()) [[unlikely]]
            grow_extents(extent_count_ + 1);
        extents_.data()[extent_count_] = Extent{offset, size};
        return extent_count_++;
    }
    std::size_t extent_count() const { return extent_count_; }
    // Room for `count` extents, taken once where the reader starts, so that the table does not
    // grow step by step.
    void reserve_extents(std::size_t count) {
        if (count > extents_.capacity()) grow_extents(count);
    }

    const Cell* cells() const { return cells_.data(); }
    Cell* cells() { return cells_.data(); }
    std::size_t size() const { return size_; }
    // Whether the cells have left the call's block (and the tape itself) for memory of their
    // own, which may be given back behind the rows as they are written.
    bool cells_in_own_memory() const { return cells_.own_memory(); }

    // Room for `count` more cells. Large tapes are backed by huge pages where the system offers
    // them, which saves most of the page faults of filling fresh megabytes.
    void reserve_more(std::size_t count) {
        if (cells_.capacity() - size_ >= count) return;
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
    Cursor cursor() {
        Cell* cells = cells_.data();
        return {cells, cells + size_, cells + cells_.capacity()};
    }
    void set_end(const Cell* next) { size_ = static_cast<std::size_t>(next - cells_.data()); }

    // Numbers whose output text is not their token (float_decimal and float_value cells): the
    // only values whose text may grow when written, each by less than a float text's length.
    void count_rewritten_number() { ++rewritten_numbers_; }
    std::size_t rewritten_numbers() const { return rewritten_numbers_; }

    // Drops the cells from `size` on; rewriting the cells of the container closed last can
    // shorten it.
    void truncate(std::size_t size) { size_ = size; }

    // Storage for decoded strings; it lives as long as the tape, and what it holds does not
    // move, so their views stay good.
    memory::Arena& strings() { return strings_; }

  private:
    // A text in the table of texts, and for a string a bound of its JSON string's length.
    struct TableText {
        std::string_view text;
        std::size_t written_bound;
    };

    [[gnu::noinline]] void grow_extents(std::size_t count) { extents_.grow(extent_count_, count); }

    // A container's end is a cell index of 32 bits (TapeLimits::cells): the cells never take
    // more room than that, and a payload that needs more runs out of memory.
    void grow(std::size_t count) {
        if (count > limits_.cells - size_) throw std::bad_alloc();
        const std::size_t needed = size_ + count;
        const std::size_t wanted = memory::grown_capacity(cells_.capacity(), needed, sizeof(Cell));
        cells_.move_to(size_, wanted < limits_.cells ? wanted : limits_.cells);
    }

    const char* payload_ = nullptr;
    TapeLimits limits_;
    // The smallest payloads fit the cells kept in the tape itself, and allocate none.
    static constexpr std::size_t kInlineCells = 48;
    Cell inline_cells_[kInlineCells];
    memory::TableStorage<Cell> cells_;
    std::size_t size_ = 0;
    std::size_t rewritten_numbers_ = 0;
    memory::Arena strings_;
    // Extents, in the tape itself for the smallest payloads (an empty array allocates nothing).
    static constexpr std::size_t kInlineExtents = 8;
    Extent inline_extents_[kInlineExtents];
    memory::TableStorage<Extent> extents_;
    std::size_t extent_count_ = 0;
    // Decoded strings, and texts that text cells cannot reach (views of the payload).
    std::vector<TableText, memory::ScratchAllocator<TableText>> texts_;
    std::vector<double, memory::ScratchAllocator<double>> floats_;
};

}  // namespace vantor::tape
