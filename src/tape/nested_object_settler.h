#pragma once
// Objects inside rows hold each name once on the tape, as the exact reader's objects do: when an
// object closes with a name given more than once, its cells are rewritten so that the name keeps
// the position of its first occurrence and the value of its last (json/repeated_names.h). Writers
// and the constant test then see the object the payload means.
//
// The check costs the object's member count. Small objects are checked pair by pair. Others are
// compared first with the names of a recent object with the same first name (the same member in
// every row, as a rule: names_repeating in nested_object_settler.cpp). A few names after such a
// start are looked for linearly among the names before them; otherwise the names go through a
// keyed name index, so no choice of names makes the check quadratic. Rewriting moves the cells of
// the values that do not stay in place, once per enclosing object with repeated names: a cell
// moves at most once per level of nesting above it (text/json_limits.h bounds them), so settling
// stays linear in the payload.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "hashing/name_table.h"
#include "json/repeated_names.h"
#include "tape/tape.h"
#include "text/same_bytes.h"

namespace vantor::tape {

// Whether the object whose cell is at `object` has at most kSmallObjectMembers members, all of
// distinct names: checked pair by pair (28 comparisons at most), without memory of its own. Most
// objects inside rows are small and settled by this alone.
inline constexpr std::uint32_t kSmallObjectMembers = 8;
inline bool small_object_with_distinct_names(const Tape& tape, std::uint32_t object) {
    const Cell* cells = tape.cells();
    const std::uint32_t end = cells[object].container_end();
    std::uint32_t keys[kSmallObjectMembers];  // the key cells, written before they are read
    std::uint32_t count = 0;
    for (std::uint32_t at = object + 1; at < end; at = value_end(cells, at + 1)) {
        if (count == kSmallObjectMembers) return false;
        keys[count++] = at;
    }
    for (std::uint32_t i = 1; i < count; ++i) {
        std::string_view name = tape.text(cells[keys[i]]);
        for (std::uint32_t j = 0; j < i; ++j) {
            if (text::same_bytes(name, tape.text(cells[keys[j]]))) return false;
        }
    }
    return true;
}

class ObjectKeySettler {
  public:
    // Settles the object whose cell is at `object`: the container closed last, whose cells end
    // the tape.
    void settle(Tape& tape, std::uint32_t object);

  private:
    // Up to this many names after a known distinct start are looked for linearly among the
    // names before them: at most this many times the member count.
    static constexpr std::uint32_t kLinearMembers = 4;
    static constexpr std::size_t kRecentSlots = 32;

    // The names of the last objects settled whose first name falls in the same slot, a few
    // shapes per slot.
    static constexpr std::size_t kRecentWays = 4;
    struct RecentSlot {
        std::vector<std::string_view> names[kRecentWays];
        std::uint64_t last_use[kRecentWays] = {};
    };
    // The slot of objects whose first name is `first`. Slots are made as first names come: a
    // call whose payload has few of them, a small one above all, pays for those alone.
    RecentSlot& recent_slot(std::string_view first);

    // The key cells of the object in keys_, with room for them and for the kept members taken
    // at once (an object of n cells has at most n / 2 members).
    void collect_keys(const Cell* cells, std::uint32_t object);

    // An object whose first `prefix` names are the recent ones' and whose few other members,
    // tail_, come after them (a name given again at the end, as a rule): each of those is looked
    // for among the names before it, and the object is rewritten only when one is found.
    void settle_tail(Tape& tape, std::uint32_t object, std::size_t prefix,
                     std::vector<std::string_view>& recent);

    // Fills kept_ (json/repeated_names.h). The index holds the names of the members before
    // `repeat`, the first one whose name came again.
    void find_repeats_indexed(const Tape& tape, std::uint32_t repeat);

    // Rewrites the object's members as kept_ says: one per name, at its first position, with its
    // last value. Afterwards keys_ holds the kept key cells.
    void remove_repeats(Tape& tape, std::uint32_t object);

    struct Move {
        std::uint32_t destination;
        std::uint32_t source;  // in moved_
        std::uint32_t size;
    };

    std::vector<std::uint32_t> keys_;  // the key cells of the object being settled
    std::vector<std::uint32_t> tail_;  // the key cells after the recent names' first ones
    std::vector<std::pair<std::uint32_t, std::string_view>> new_names_;
    std::vector<std::uint32_t> repeats_;  // per tail member giving a name again, that name
    std::vector<hashing::NameTable::Found> tail_found_;
    std::vector<RecentSlot> recent_;
    // Per first name's slot, its place in recent_ plus one, or zero before it is made.
    std::uint8_t slot_places_[kRecentSlots] = {};
    std::uint64_t uses_ = 0;  // objects settled past the small ones, for the ways' ages
    hashing::NameTable index_;
    std::vector<json::KeptMember> kept_;
    std::vector<Cell> moved_;
    std::vector<Move> moves_;
};

}  // namespace vantor::tape
