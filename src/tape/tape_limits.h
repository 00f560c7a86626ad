#pragma once
// What a tape's cells can say (tape/tape.h), as limits: a text's payload offset and length, the
// containers whose extent a cell can name, the cells a container's end can name. A payload beyond
// one of them is read onto the same tape in other forms (a text kept in the tape's table of texts,
// a container without an extent), and only the last, cells, is a limit on the payload: beyond it,
// the tape alone would take more memory than a call may have (32 GiB), and reading runs out of
// memory. Tests set them lower, to reach those forms with small payloads.
#include <cstddef>
#include <cstdint>

namespace vantor::tape {

struct TapeLimits {
    // Text cells keep a payload offset in 32 bits: texts past 4 GiB go to the table of texts.
    std::size_t offsets = std::size_t{1} << 32;
    // And a length in 28 bits: longer texts go to the table too.
    std::size_t text_size = std::size_t{1} << 28;
    // Container cells name their extent in 27 bits, the last value meaning none: containers
    // after these have none (they are never verbatim, and their bound is summed from their
    // cells). Payloads past 4 GiB hold extents beyond the offsets, which have none either.
    std::size_t extents = (std::size_t{1} << 27) - 1;
    // Container cells name their end in 32 bits.
    std::size_t cells = (std::size_t{1} << 32) - 1;
};

}  // namespace vantor::tape
