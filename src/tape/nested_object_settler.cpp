// The settling of repeated names in the objects nested in rows (tape/nested_object_settler.h), in
// a source of its own: the walk calls it out of line, and its code stays out of the walk's
// translation unit, whose inlining it would otherwise sway.
#include "tape/nested_object_settler.h"

#include <cstring>

namespace vantor::tape {

namespace {

// Objects at one depth are usually alike (the objects nested in rows above all): an object tends
// to begin with the names of the last such object, in the same order. Those names were checked
// distinct, so as many names as begin an object the same way are distinct too and need no
// duplicate check.
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

}  // namespace

void ObjectKeySettler::settle(Tape& tape, std::uint32_t object) {
    const Cell* cells = tape.cells();
    const std::uint32_t end = cells[object].container_end();
    const std::uint32_t first = object + 1;
    if (first == end || value_end(cells, first + 1) == end) return;  // one member at most
    struct Walk {
        const Tape& tape;
        const Cell* cells;
        std::uint32_t at;
        std::uint32_t end;
        bool done() const { return at == end; }
        std::string_view name() const { return tape.text(cells[at]); }
        void next() { at = value_end(cells, at + 1); }
    };
    // The recent objects whose first name falls in this slot: the one whose names begin
    // this object furthest. Objects of several shapes often begin with the same name ("id"),
    // and each keeps its own list while the slot has room.
    RecentSlot& slot = recent_slot(tape.text(cells[first]));
    ++uses_;
    std::size_t best_way = 0;
    std::size_t prefix = 0;
    std::uint32_t at = first;
    for (std::size_t way = 0; way < kRecentWays; ++way) {
        Walk walk{tape, cells, first, end};
        const std::size_t repeating = names_repeating(slot.names[way], walk);
        if (walk.at == end) {
            slot.last_use[way] = uses_;
            return;
        }
        if (repeating > prefix || way == 0) {
            best_way = way;
            prefix = repeating;
            at = walk.at;
        }
    }
    std::vector<std::string_view>* chosen = &slot.names[best_way];
    if (prefix < chosen->size()) {
        // Another shape: it takes the way used least recently, with the names it shares.
        std::size_t victim = 0;
        for (std::size_t way = 1; way < kRecentWays; ++way) {
            if (slot.last_use[way] < slot.last_use[victim]) victim = way;
        }
        if (victim != best_way) {
            slot.names[victim].assign(chosen->begin(), chosen->begin() + prefix);
            best_way = victim;
        }
        chosen = &slot.names[best_way];
    }
    slot.last_use[best_way] = uses_;
    std::vector<std::string_view>& recent = *chosen;
    tail_.clear();
    for (; at < end && tail_.size() <= kLinearMembers; at = value_end(cells, at + 1))
        tail_.push_back(at);
    if (tail_.size() <= kLinearMembers) {
        settle_tail(tape, object, prefix, recent);
        return;
    }
    collect_keys(cells, object);
    const auto count = static_cast<std::uint32_t>(keys_.size());
    index_.reset(count);
    std::uint32_t member = 0;
    while (member < count && index_.find_or_add_reserved(tape.text(cells[keys_[member]])).added) {
        ++member;
    }
    if (member < count) {
        find_repeats_indexed(tape, member);
        remove_repeats(tape, object);
    }
    recent.clear();
    recent.reserve(keys_.size());
    for (std::uint32_t key : keys_)
        recent.push_back(tape.text(tape.cells()[key]));
}

ObjectKeySettler::RecentSlot& ObjectKeySettler::recent_slot(std::string_view first) {
    std::uint64_t head = 0;
    std::memcpy(&head, first.data(), first.size() < 8 ? first.size() : 8);
    head = (head ^ (static_cast<std::uint64_t>(first.size()) << 56)) * 0x9e3779b97f4a7c15u;
    head = (head ^ (head >> 32)) * 0x9e3779b97f4a7c15u;
    std::uint8_t& slot = slot_places_[(head >> 59) % kRecentSlots];
    if (slot == 0) {
        recent_.emplace_back();
        slot = static_cast<std::uint8_t>(recent_.size());
    }
    return recent_[slot - 1];
}

void ObjectKeySettler::collect_keys(const Cell* cells, std::uint32_t object) {
    keys_.clear();
    const std::uint32_t end = cells[object].container_end();
    keys_.reserve((end - object) / 2);
    kept_.reserve((end - object) / 2);
    for (std::uint32_t at = object + 1; at < end; at = value_end(cells, at + 1))
        keys_.push_back(at);
}

void ObjectKeySettler::settle_tail(Tape& tape, std::uint32_t object, std::size_t prefix,
                                   std::vector<std::string_view>& recent) {
    const Cell* cells = tape.cells();
    const auto known = static_cast<std::uint32_t>(prefix);
    // The tail's new names (their positions in tail_, and the names), and per tail member its
    // name among the distinct ones before it: below `known` a recent name, from there on a
    // new name of the tail.
    new_names_.clear();
    repeats_.clear();
    for (std::uint32_t t = 0; t < tail_.size(); ++t) {
        std::string_view name = tape.text(cells[tail_[t]]);
        std::uint32_t found = 0;
        while (found < known && !text::same_bytes(name, recent[found]))
            ++found;
        if (found == known) {
            std::uint32_t n = 0;
            while (n < new_names_.size() && !text::same_bytes(name, new_names_[n].second))
                ++n;
            found += n;
            if (n == new_names_.size()) {
                new_names_.emplace_back(t, name);
                continue;
            }
        }
        repeats_.push_back(found);
    }
    if (!repeats_.empty()) {
        // Per tail member, its name among those before it, from the two lists in tail order.
        tail_found_.clear();
        std::uint32_t n = 0;
        std::uint32_t r = 0;
        for (std::uint32_t t = 0; t < tail_.size(); ++t) {
            if (n < new_names_.size() && new_names_[n].first == t) {
                tail_found_.push_back(hashing::NameTable::Found{known + n++, true});
            } else {
                tail_found_.push_back(hashing::NameTable::Found{repeats_[r++], false});
            }
        }
        collect_keys(cells, object);
        kept_.clear();
        const auto count = static_cast<std::uint32_t>(known + tail_.size());
        json::keep_first_position_last_value(
            known, count, [&](std::uint32_t member) { return tail_found_[member - known]; }, kept_);
        remove_repeats(tape, object);
        if (new_names_.empty()) return;  // its names begin the recent ones
    }
    recent.resize(prefix);
    // The names themselves: the rewriting may have moved their cells.
    for (const auto& new_name : new_names_)
        recent.push_back(new_name.second);
}

void ObjectKeySettler::find_repeats_indexed(const Tape& tape, std::uint32_t repeat) {
    const Cell* cells = tape.cells();
    kept_.clear();
    json::keep_first_position_last_value(
        repeat, static_cast<std::uint32_t>(keys_.size()),
        [&](std::uint32_t member) {
            return index_.find_or_add_reserved(tape.text(cells[keys_[member]]));
        },
        kept_);
}

void ObjectKeySettler::remove_repeats(Tape& tape, std::uint32_t object) {
    Cell* cells = tape.cells();
    const std::uint32_t end = cells[object].container_end();
    const auto count = static_cast<std::uint32_t>(keys_.size());
    // The settled members are blocks of cells (a key cell, a value's cells) laid one after
    // the other from the object's first cell on. Blocks already where they belong stay; the
    // others are copied aside first, since their sources may lie where others go, and then
    // put in place, a container's end moving with its block.
    moved_.clear();
    moves_.clear();
    std::uint32_t destination = object + 1;
    auto place = [&](std::uint32_t from, std::uint32_t to) {
        if (from != destination) {
            moves_.push_back(
                Move{destination, static_cast<std::uint32_t>(moved_.size()), to - from});
            for (std::uint32_t at = from; at < to; ++at) {
                Cell cell = cells[at];
                if (cell.is_container())
                    cell = cell.with_end(cell.container_end() - from + destination);
                moved_.push_back(cell);
            }
        }
        destination += to - from;
    };
    // The members before the first one whose value comes from a later member keep their
    // cells where they are.
    std::uint32_t kept_count = 0;
    while (kept_count < kept_.size() && kept_[kept_count].value_member == kept_count)
        ++kept_count;
    destination = keys_[kept_count];
    for (std::size_t k = kept_count; k < kept_.size(); ++k) {
        const auto [name_member, value_member] = kept_[k];
        // keys_ is overwritten from the front with the kept keys' new cells; the entries
        // read here are never behind the one written.
        const std::uint32_t key = keys_[name_member];
        const std::uint32_t value = keys_[value_member] + 1;
        const std::uint32_t value_end = value_member + 1 < count ? keys_[value_member + 1] : end;
        keys_[kept_count++] = destination;
        place(key, key + 1);
        place(value, value_end);
    }
    for (const Move& move : moves_) {
        std::memcpy(cells + move.destination, moved_.data() + move.source,
                    move.size * sizeof(Cell));
    }
    keys_.resize(kept_count);
    cells[object] = cells[object].with_end(destination);
    tape.truncate(destination);
}

}  // namespace vantor::tape
