// The out-of-line parts of writing from the tape: texts that must be formed (decoded strings,
// floats) and containers, walked with an explicit stack bounded by the nesting limit.
#include "json/tape_writer.h"

#include "json/writer.h"

namespace vantor::json {

namespace tape_writer_detail {

char* write_decoded_string(std::string_view text, char* p) {
    return write_json_string_unchecked(text, p);
}

char* write_float_decimal(const Cell& cell, char* p) {
    return p + format_decimal_text(cell.decimal_negative(),
                                   DecimalFloat{cell.data, cell.decimal_exponent()}, p);
}

char* write_float_value(const Cell& cell, char* p) {
    return p + format_float_text(std::bit_cast<double>(cell.data), p);
}

}  // namespace tape_writer_detail

char* write_tape_container_unchecked(const Cell* cells, std::uint32_t index, const char* copy_limit,
                                     char* p) {
    struct Open {
        std::uint32_t end;
        bool object;
    };
    // Containers nest at most 127 levels, the top-level array included.
    Open open[128];
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
                    p = write_tape_string_unchecked(cells[at++], copy_limit, p);
                    *p++ = ':';
                }
                continue;
            }
        } else {
            p = write_tape_value_unchecked(cells, at, copy_limit, p);
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
                p = write_tape_string_unchecked(cells[at++], copy_limit, p);
                *p++ = ':';
            }
            break;
        }
        if (depth == 0) return p;
    }
}

}  // namespace vantor::json
