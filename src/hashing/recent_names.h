#pragma once
// Objects at one depth are usually alike (rows, and the objects nested in them): an object tends
// to begin with the names of the last such object, in the same order. Those names were checked
// distinct, so as many names as begin an object the same way are distinct too and need no
// duplicate check. The exact reader and the tape's settling of nested objects both count them
// here; each keeps its own remembered names (per depth, per first name).
#include <cstddef>
#include <string_view>
#include <vector>

#include "text/same_bytes.h"

namespace vantor::json {

// How many of the names that `members` walks (done(), name(), next()) repeat `recent`, the
// distinct names of an earlier object, from the first on; `members` is left at the first name
// that does not.
template <class Members>
inline std::size_t names_repeating(const std::vector<std::string_view>& recent, Members& members) {
    std::size_t count = 0;
    while (count < recent.size() && !members.done() && same_bytes(members.name(), recent[count])) {
        members.next();
        ++count;
    }
    return count;
}

}  // namespace vantor::json
