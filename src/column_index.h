#pragma once
// The transform's index from member name to column number: open addressing over a keyed hash of
// the name. Names come from the payload, so the keys are the thread's random hash keys: colliding
// names cannot be prepared in advance. No output depends on them; columns are numbered in order
// of first appearance.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "json/hash.h"
#include "json/value.h"

namespace vantor {

class ColumnIndex {
  public:
    // The keys are taken, and the table allocated, with the first name: a payload without
    // members costs nothing here.
    ColumnIndex() = default;

    // The column of `name`, adding it as the next column when it is new.
    std::uint32_t find_or_add(std::string_view name) {
        if (slots_.empty()) allocate();
        std::uint64_t hash = hash_name(name);
        auto tag = static_cast<std::uint32_t>(hash >> 32);
        std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
            std::uint64_t entry = slots_[slot];
            if (entry == 0) break;
            if (static_cast<std::uint32_t>(entry >> 32) == tag) {
                auto column = static_cast<std::uint32_t>(entry) - 1;
                if (json::same_name(entries_[column].name, name)) return column;
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
        keys_ = json::next_hash_keys();
        slots_.assign(64, 0);
        entries_.reserve(32);
    }

    static std::uint64_t load64(const char* p) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        return word;
    }
    static std::uint64_t load32(const char* p) {
        std::uint32_t word;
        std::memcpy(&word, p, 4);
        return word;
    }
    // One 64 x 64 -> 128-bit product folded to 64 bits: the mixing step of the hash.
    static std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
        __extension__ using uint128 = unsigned __int128;
        uint128 product = static_cast<uint128>(a) * b;
        return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
    }

    std::uint64_t hash_name(std::string_view name) const {
        const char* p = name.data();
        std::size_t n = name.size();
        std::uint64_t a;
        std::uint64_t b;
        std::uint64_t seed = keys_.k0 ^ (n * 0x9e3779b97f4a7c15u);
        if (n <= 16) {
            if (n >= 8) {
                a = load64(p);
                b = load64(p + n - 8);
            } else if (n >= 4) {
                a = load32(p);
                b = load32(p + n - 4);
            } else if (n > 0) {
                a = static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) << 16 |
                    static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
                    static_cast<unsigned char>(p[n - 1]);
                b = 0;
            } else {
                a = b = 0;
            }
        } else {
            std::size_t i = 0;
            for (; i + 16 < n; i += 16) {
                seed = mix(load64(p + i) ^ keys_.k1, load64(p + i + 8) ^ seed);
            }
            a = load64(p + n - 16);
            b = load64(p + n - 8);
        }
        return mix(a ^ keys_.k1, b ^ seed) ^ seed;
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

    json::HashKeys keys_{};
    // Each slot: the upper 32 bits of the name's hash over the column number + 1; 0 when empty.
    std::vector<std::uint64_t> slots_;
    struct Entry {
        std::string_view name;
        std::uint64_t hash;
    };
    std::vector<Entry> entries_;
};

}  // namespace vantor
