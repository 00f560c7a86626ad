#pragma once
// The rule for a name given more than once in one object: the name keeps the position of its
// first occurrence and takes the value of its last. Written once, here, and followed wherever an
// object's members are settled: by the tape's settling of the objects nested in rows
// (tape/nested_object_settler.h), which rewrites their cells, and by the transform's rows
// (transform/column_index.h and transform/result_writer.h), whose repeated names keep their
// column and write its last value.
#include <cstddef>
#include <cstdint>

#include "hashing/name_table.h"

namespace vantor::json {

// The rule's one step, for each member in order once its name has been looked up among the
// object's earlier names: a first occurrence takes the next position (`take_position()`); a
// repeat leaves the position where it is and replaces the value there with its own
// (`replace_value()`).
template <class TakePosition, class ReplaceValue>
[[gnu::always_inline]] inline void settle_member(bool first_occurrence,
                                                 const TakePosition& take_position,
                                                 const ReplaceValue& replace_value) {
    if (first_occurrence) [[likely]] {
        take_position();
    } else {
        replace_value();
    }
}

// The rule applied to a whole object: per distinct name, in order of first occurrence, the member
// giving it and the member giving its value.
struct KeptMember {
    std::uint32_t name_member;
    std::uint32_t value_member;
};

// Fills `kept` for members 0 to `count`: those before `from` have distinct names already looked
// up; `find_or_add(member)` looks each later member's name up among the distinct names before it
// and gives a NameTable::Found (its ordinal among them, or added as the next one). `kept` is any
// sequence with push_back, size and indexing.
template <class Kept, class FindOrAdd>
inline void keep_first_position_last_value(std::uint32_t from, std::uint32_t count,
                                           const FindOrAdd& find_or_add, Kept& kept) {
    for (std::uint32_t member = 0; member < from; ++member)
        kept.push_back(KeptMember{member, member});
    for (std::uint32_t member = from; member < count; ++member) {
        const hashing::NameTable::Found found = find_or_add(member);
        settle_member(
            found.added, [&] { kept.push_back(KeptMember{member, member}); },
            [&] { kept[found.ordinal].value_member = member; });
    }
}

// The rule read off a row's members once they are listed by position, as (position, value)
// pairs sorted by position and, within one position, in the members' order (a stable sort, or
// pairs that also sort by value where values follow the members' order): each position's last
// pair gives its value. Calls `take(position, value)` once per position, in position order.
template <class Pairs, class Take>
inline void take_last_value_per_position(const Pairs& sorted, const Take& take) {
    const std::size_t count = sorted.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i + 1 < count && sorted[i + 1].first == sorted[i].first) continue;
        take(sorted[i].first, sorted[i].second);
    }
}

}  // namespace vantor::json
