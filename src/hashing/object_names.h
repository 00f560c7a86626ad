#pragma once
// The two rules about the names of one object: names repeating the last such object's, and a name
// repeated within one object, which the tape's settling of nested objects and the transform's rows
// each apply.
//
// Objects at one depth are usually alike (rows, and the objects nested in them): an object tends
// to begin with the names of the last such object, in the same order. Those names were checked
// distinct, so as many names as begin an object the same way are distinct too and need no
// duplicate check. The tape's settling of nested objects counts them here, with the names it
// remembers per first name.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "hashing/name_table.h"
#include "text/same_bytes.h"

namespace vantor::hashing {

// How many of the names that `members` walks (done(), name(), next()) repeat `recent`, the
// distinct names of an earlier object, from the first on; `members` is left at the first name
// that does not.
template <class Members>
inline std::size_t names_repeating(const std::vector<std::string_view>& recent, Members& members) {
    std::size_t count = 0;
    while (count < recent.size() && !members.done() &&
           text::same_bytes(members.name(), recent[count])) {
        members.next();
        ++count;
    }
    return count;
}

// The rule for a name given more than once in one object, followed wherever an object's members
// are settled (the tape's nested objects, the transform's rows): the name keeps
// the position of its first occurrence and takes the value of its last. This is its one step, for
// each member in order once its name has been looked up among the object's earlier names: a first
// occurrence takes the next position (`take_position()`); a repeat leaves the position where it is
// and replaces the value there with its own
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
        const NameTable::Found found = find_or_add(member);
        settle_member(
            found.added, [&] { kept.push_back(KeptMember{member, member}); },
            [&] { kept[found.ordinal].value_member = member; });
    }
}

}  // namespace vantor::hashing
