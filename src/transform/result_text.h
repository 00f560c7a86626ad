#pragma once
// The fixed text of the result, which the transform writes: the framing around the column names,
// the rows and the constants, and the runs of nulls that fill a row where it lacks members.
//
//     {"columns":[NAMES],"rows":[ROWS],"constants":{MEMBERS}}
#include <cstddef>
#include <cstring>
#include <string_view>

namespace vantor::transform::result_text {

inline constexpr std::string_view kBeforeColumns = "{\"columns\":[";
inline constexpr std::string_view kBetweenColumnsAndRows = "],\"rows\":[";
inline constexpr std::string_view kBetweenRowsAndConstants = "],\"constants\":{";
inline constexpr std::string_view kAfterConstants = "}}";

// One null of a row after the row's first value, and the bytes it takes.
inline constexpr std::string_view kNullAfterValue = ",null";
inline constexpr std::size_t kNullTextSize = kNullAfterValue.size();

// Null runs are copied from this block, in pieces for runs longer than it: sparse rows are
// mostly null, and one copy per 32 nulls beats a store per null.
inline constexpr std::string_view kNullBlock =
    ",null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null"
    ",null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null";
static_assert(kNullBlock.size() % kNullTextSize == 0);

// Writes the nulls of a row's positions from `from` up to `to` at `p`, which has room for
// (to - from) * kNullTextSize bytes, each after a comma but at position 0, which opens the row;
// returns the end of what it wrote. Positions are of the caller's own index type: most runs
// between two values are empty, and the test for that is then a single comparison.
template <class Position>
inline char* write_null_run(Position from, Position to, char* p) {
    if (from == to) return p;
    std::size_t size = static_cast<std::size_t>(to - from) * kNullTextSize;
    const std::size_t skip = from == 0 ? 1 : 0;
    std::size_t piece = size < kNullBlock.size() ? size : kNullBlock.size();
    std::memcpy(p, kNullBlock.data() + skip, piece - skip);
    p += piece - skip;
    for (size -= piece; size > 0; size -= piece) {
        piece = size < kNullBlock.size() ? size : kNullBlock.size();
        std::memcpy(p, kNullBlock.data(), piece);
        p += piece;
    }
    return p;
}

}  // namespace vantor::transform::result_text
