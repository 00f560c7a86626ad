// Containers written from the tape, walked with an explicit stack bounded by the nesting limit.
#include "tape/tape_writer.h"

#include "text/json_limits.h"

namespace vantor::tape {

std::size_t tape_container_bound_by_cells(const Tape& tape, std::uint32_t index) {
    const Cell* cells = tape.cells();
    std::size_t bound = 0;
    for (std::uint32_t at = index; at < cells[index].container_end(); ++at) {
        // A container's two brackets and a comma; a scalar's text and a colon or a comma.
        bound += cells[at].is_container() ? 3 : 2 + tape_value_bound(tape, at);
    }
    return bound;
}

char* write_tape_container_unchecked(TapeView tape, std::uint32_t index, char* p) {
    const Cell* cells = tape.cells;
    struct Open {
        std::uint32_t end;
        bool object;
    };
    // Containers nest at most kMaxNestingDepth levels, the top-level array included, and the
    // value written is at most that deep.
    Open open[text::kMaxNestingDepth + 1];
    static_assert(sizeof open / sizeof open[0] >= text::kMaxNestingDepth);
    int depth = 0;
    std::uint32_t at = index;
    for (;;) {
        const Cell& cell = cells[at];
        if (cell.is_container() && !cell.verbatim()) {
            bool object = cell.kind() == CellKind::object;
            *p++ = object ? '{' : '[';
            if (cell.container_end() == at + 1) {
                *p++ = object ? '}' : ']';
                ++at;
            } else {
                open[depth++] = Open{cell.container_end(), object};
                ++at;
                if (object) {
                    p = write_tape_string_unchecked(tape, cells[at++], p);
                    *p++ = ':';
                }
                continue;
            }
        } else {
            // A scalar, or a container written as one copy of its text.
            p = write_tape_value_unchecked(tape, at, p);
            at = value_end(cells, at);
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
                p = write_tape_string_unchecked(tape, cells[at++], p);
                *p++ = ':';
            }
            break;
        }
        if (depth == 0) return p;
    }
}

}  // namespace vantor::tape
