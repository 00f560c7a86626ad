// Values written from the tape. Text that is already output (integers, escape-free strings, floats
// in the float layout, literals) is copied; the rest is formed by the same writers as write_json
// uses. Containers are walked with an explicit stack bounded by the nesting limit.
#include "json/tape_writer.h"

#include <bit>
#include <cstring>

#include "json/float_text.h"
#include "json/writer.h"

namespace vantor::json {

namespace {

constexpr int max_open_containers = 128;

inline char* write_string_cell(const Cell& cell, char* p) {
    if (cell.kind() == CellKind::string_text) {
        // The payload's own token, quotes included.
        std::memcpy(p, cell.text_data() - 1, cell.text_size() + 2);
        return p + cell.text_size() + 2;
    }
    return write_json_string_unchecked(cell.text(), p);
}

inline char* write_scalar(const Cell& cell, char* p) {
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
            std::memcpy(p, cell.text_data(), cell.text_size());
            return p + cell.text_size();
        case CellKind::float_decimal:
            return p + format_decimal_text(cell.decimal_negative(),
                                           DecimalFloat{cell.data, cell.decimal_exponent()}, p);
        case CellKind::float_value:
            return p + format_float_text(std::bit_cast<double>(cell.data), p);
        case CellKind::string_text:
        case CellKind::string_decoded:
            return write_string_cell(cell, p);
        case CellKind::array:
        case CellKind::object:
            break;
    }
    return p;
}

inline std::size_t scalar_bound(const Cell& cell) {
    switch (cell.kind()) {
        case CellKind::null:
        case CellKind::boolean_true:
        case CellKind::boolean_false:
            return 5;
        case CellKind::integer:
        case CellKind::float_text:
            return cell.text_size();
        case CellKind::string_text:
            return cell.text_size() + 2;
        case CellKind::string_decoded:
            return cell.text_size() * 6 + 2;
        case CellKind::float_decimal:
        case CellKind::float_value:
        case CellKind::array:
        case CellKind::object:
            break;
    }
    return float_text_capacity;
}

// Writes the container at `index`; `p` has room for its bound plus the slack.
char* write_container(const Cell* cells, std::uint32_t index, char* p) {
    struct Open {
        std::uint32_t end;
        bool object;
    };
    Open open[max_open_containers];
    int depth = 0;
    std::uint32_t at = index;
    for (;;) {
        const Cell& cell = cells[at];
        if (cell.is_container()) {
            bool object = cell.kind() == CellKind::object;
            *p++ = object ? '{' : '[';
            if (cell.container_end() == at + 1) {
                *p++ = object ? '}' : ']';
                ++at;
            } else {
                open[depth++] = Open{cell.container_end(), object};
                ++at;
                if (object) {
                    p = write_string_cell(cells[at++], p);
                    *p++ = ':';
                }
                continue;
            }
        } else {
            p = write_scalar(cell, p);
            ++at;
        }
        // A value is complete: close what ends here, or separate it from the next one.
        while (depth > 0) {
            const Open& top = open[depth - 1];
            if (at == top.end) {
                *p++ = top.object ? '}' : ']';
                --depth;
                continue;
            }
            *p++ = ',';
            if (top.object) {
                p = write_string_cell(cells[at++], p);
                *p++ = ':';
            }
            break;
        }
        if (depth == 0) return p;
    }
}

}  // namespace

std::size_t tape_value_bound(const Cell* cells, std::uint32_t index) {
    const Cell& cell = cells[index];
    if (!cell.is_container()) return scalar_bound(cell);
    return cell.container_text_size() +
           float_text_capacity * static_cast<std::size_t>(cell.container_end() - index);
}

void write_tape_value(const Cell* cells, std::uint32_t index, ByteBuffer& out) {
    const Cell& cell = cells[index];
    char* start = out.tail(tape_value_bound(cells, index) + tape_write_slack);
    char* end = cell.is_container() ? write_container(cells, index, start) : write_scalar(cell, start);
    out.commit(static_cast<std::size_t>(end - start));
}

void write_tape_string(const Cell& cell, ByteBuffer& out) {
    char* start = out.tail(scalar_bound(cell) + tape_write_slack);
    out.commit(static_cast<std::size_t>(write_string_cell(cell, start) - start));
}

}  // namespace vantor::json
