#pragma once
// The transform's index from member name to column number: open addressing over a keyed hash of
// the name. Names come from the payload, so the keys are the thread's random hash keys: colliding
// names cannot be prepared in advance. No output depends on them; columns are numbered in order
// of first appearance.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "hashing/name_index.h"
#include "text/same_bytes.h"

namespace vantor {

class ColumnIndex {
  public:
    // The keys are taken, and the table allocated, with the first name: a payload without
    // members costs nothing here.
    ColumnIndex() = default;

    // The column of `name`, adding it as the next column when it is new.
    std::uint32_t find_or_add(std::string_view name) {
        if (slots_.empty()) allocate();
        std::uint64_t hash = hash_name_(name);
        auto tag = static_cast<std::uint32_t>(hash >> 32);
        std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
            std::uint64_t entry = slots_[slot];
            if (entry == 0) break;
            if (static_cast<std::uint32_t>(entry >> 32) == tag) {
                auto column = static_cast<std::uint32_t>(entry) - 1;
                if (json::same_bytes(entries_[column].name, name)) return column;
            }
        }
        auto column = static_cast<std::uint32_t>(entries_.size());
        entries_.push_back(Entry{name, hash});
        if (entries_.size() * 2 > slots_.size()) {
            rebuild(slots_.size() * 2);
        } else {
            place(hash, column);
        }
        return column;
    }

  private:
    [[gnu::noinline]] void allocate() {
        hash_name_.seed();
        slots_.assign(64, 0);
        entries_.reserve(32);
    }

    void place(std::uint64_t hash, std::uint32_t column) {
        std::size_t mask = slots_.size() - 1;
        std::size_t slot = static_cast<std::size_t>(hash) & mask;
        while (slots_[slot] != 0)
            slot = (slot + 1) & mask;
        slots_[slot] = (hash >> 32 << 32) | (static_cast<std::uint64_t>(column) + 1);
    }

    void rebuild(std::size_t slot_count) {
        slots_.assign(slot_count, 0);
        for (std::uint32_t column = 0; column < entries_.size(); ++column)
            place(entries_[column].hash, column);
    }

    json::NameHasher hash_name_;
    // Each slot: the upper 32 bits of the name's hash over the column number + 1; 0 when empty.
    std::vector<std::uint64_t> slots_;
    struct Entry {
        std::string_view name;
        std::uint64_t hash;
    };
    std::vector<Entry> entries_;
};

}  // namespace vantor
