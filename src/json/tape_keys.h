#pragma once
// Objects inside rows hold each name once on the tape, as the exact reader's objects do: when an
// object closes with a name given more than once, its cells are rewritten so that the name keeps
// the position of its first occurrence and the value of its last. Writers and the constant test
// then see the object the exact path sees.
//
// The check costs the object's member count. An object that gives the names of a recent object
// of the same first name in the same order (the same member in every row, as a rule) is compared
// with it name by name; otherwise a small object is checked pair by pair and a larger one through
// a keyed name index, so no choice of names makes it quadratic. Rewriting moves each kept value's
// cells once per enclosing object that has repeated names; nesting bounds that to 125 times.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "json/name_index.h"
#include "json/tape.h"
#include "json/value.h"

namespace vantor::json {

class ObjectKeySettler {
  public:
    // Settles the object whose cell is at `object`: the container closed last, whose cells end
    // the tape.
    void settle(Tape& tape, std::uint32_t object) {
        const Cell* cells = tape.cells();
        const std::uint32_t end = cells[object].container_end();
        keys_.clear();
        for (std::uint32_t at = object + 1; at < end; at = value_end(cells, at + 1))
            keys_.push_back(at);
        if (keys_.size() < 2) return;
        std::vector<std::string_view>& recent = recent_names(cells[keys_[0]].text());
        if (recent.size() == keys_.size() && same_names(cells, recent)) return;
        const bool repeated =
            keys_.size() <= kPairwiseMembers ? repeated_pairwise(cells) : repeated_indexed(cells);
        if (repeated) {
            remove_repeats(tape, object);
            cells = tape.cells();
        }
        recent.clear();
        const std::uint32_t settled_end = cells[object].container_end();
        for (std::uint32_t at = object + 1; at < settled_end; at = value_end(cells, at + 1))
            recent.push_back(cells[at].text());
    }

  private:
    // Objects of up to this many members are checked pair by pair: at most 28 comparisons.
    static constexpr std::size_t kPairwiseMembers = 8;
    static constexpr std::size_t kRecentSlots = 16;

    // The names of the last object settled whose first name falls in the same slot; the slots
    // are made with the first object of two members or more.
    std::vector<std::string_view>& recent_names(std::string_view first) {
        if (recent_.empty()) recent_.resize(kRecentSlots);
        std::uint32_t mixed = static_cast<std::uint32_t>(first.size()) * 0x9e3779b1u;
        if (!first.empty()) {
            mixed ^= static_cast<unsigned char>(first.front()) * 0x85ebca77u;
            mixed ^= static_cast<unsigned char>(first.back()) * 0xc2b2ae3du;
        }
        return recent_[(mixed >> 24) % kRecentSlots];
    }

    bool same_names(const Cell* cells, const std::vector<std::string_view>& names) const {
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (!same_name(cells[keys_[i]].text(), names[i])) return false;
        }
        return true;
    }

    bool repeated_pairwise(const Cell* cells) const {
        for (std::size_t i = 1; i < keys_.size(); ++i) {
            std::string_view name = cells[keys_[i]].text();
            for (std::size_t j = 0; j < i; ++j) {
                if (same_name(name, cells[keys_[j]].text())) return true;
            }
        }
        return false;
    }

    bool repeated_indexed(const Cell* cells) {
        index_.reset(keys_.size());
        for (std::uint32_t key : keys_) {
            if (index_.find_or_add(cells[key].text()) != NameIndex::kAbsent) return true;
        }
        return false;
    }

    // Rewrites the object's members: one per name, at its first position, with its last value.
    // The values' cells move as blocks, so a container's end moves by its block's shift.
    void remove_repeats(Tape& tape, std::uint32_t object) {
        Cell* cells = tape.cells();
        const std::uint32_t end = cells[object].container_end();
        const auto count = static_cast<std::uint32_t>(keys_.size());
        // Per distinct name, in order of first occurrence: the member giving the name, and the
        // member giving the value.
        kept_.clear();
        index_.reset(count);
        for (std::uint32_t member = 0; member < count; ++member) {
            std::uint32_t ordinal = index_.find_or_add(cells[keys_[member]].text());
            if (ordinal == NameIndex::kAbsent) {
                kept_.emplace_back(member, member);
            } else {
                kept_[ordinal].second = member;
            }
        }
        const std::uint32_t first = object + 1;
        moved_.clear();
        for (const auto& [name_member, value_member] : kept_) {
            moved_.push_back(cells[keys_[name_member]]);
            const std::uint32_t from = keys_[value_member] + 1;
            const std::uint32_t to = value_member + 1 < count ? keys_[value_member + 1] : end;
            const auto destination = first + static_cast<std::uint32_t>(moved_.size());
            for (std::uint32_t at = from; at < to; ++at) {
                Cell cell = cells[at];
                if (cell.is_container()) {
                    const std::uint32_t moved_end = cell.container_end() - from + destination;
                    cell.data = (cell.data >> 32 << 32) | moved_end;
                }
                moved_.push_back(cell);
            }
        }
        std::memcpy(cells + first, moved_.data(), moved_.size() * sizeof(Cell));
        const auto settled_end = first + static_cast<std::uint32_t>(moved_.size());
        cells[object].data = (cells[object].data >> 32 << 32) | settled_end;
        tape.truncate(settled_end);
    }

    std::vector<std::uint32_t> keys_;  // the key cells of the object being settled
    std::vector<std::vector<std::string_view>> recent_;
    NameIndex index_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> kept_;
    std::vector<Cell> moved_;
};

}  // namespace vantor::json
