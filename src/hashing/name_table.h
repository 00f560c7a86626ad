#pragma once
// Keyed hashing of member names, and the one table of names the transform uses.
// Names come from the payload, so the hash is keyed by the thread's random hash keys
// (hashing/keyed_hash.h): colliding names cannot be prepared in advance, and no input can make a
// lookup cost more than a few probes on average. No output depends on the keys.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "hashing/keyed_hash.h"
#include "memory/scratch_area.h"
#include "platform/compiler.h"
#include "text/same_bytes.h"

namespace vantor::hashing {

// A 64-bit hash of a name under keys drawn with the first name: one 128-bit multiply for names
// of up to 16 bytes, one more per further 16 bytes.
class NameHasher {
  public:
    bool seeded() const { return seeded_; }
    void seed() {
        keys_ = next_hash_keys();
        seeded_ = true;
    }

    std::uint64_t operator()(std::string_view name) const {
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

  private:
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
        const platform::U128 product = platform::multiply_64x64(a, b);
        return product.low ^ product.high;
    }

    HashKeys keys_{};
    bool seeded_ = false;
};

// The one layout of a table of names, open addressing at most half full: each slot holds the
// upper 32 bits of the name's hash, which pick its home slot and reject most mismatches without
// touching the name, over the name's ordinal + 1; 0 is an empty slot. An entry carries all it
// needs to be placed again, so a growing table moves entries without hashing a name again.
namespace name_slots {

inline std::uint64_t entry(std::uint64_t hash, std::uint32_t ordinal) {
    return (hash >> 32 << 32) | (static_cast<std::uint64_t>(ordinal) + 1);
}

inline std::uint32_t ordinal(std::uint64_t entry) {
    return static_cast<std::uint32_t>(entry) - 1;
}

// The smallest power of two of at least 16 slots that keeps `names` at most half the table.
inline std::size_t count_for(std::size_t names) {
    std::size_t count = 16;
    while (count < names * 2) {
        if (count > (SIZE_MAX >> 2)) throw std::bad_alloc();
        count *= 2;
    }
    return count;
}

// The one probe loop: the slot holding `name`, or the empty slot where it would go.
// `name_of(ordinal)` is the name an entry stands for.
template <class NameOf>
inline std::size_t probe(const std::uint64_t* slots, std::size_t mask, std::uint64_t hash,
                         std::string_view name, const NameOf& name_of) {
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t slot = tag & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t found = slots[slot];
        if (found == 0) return slot;
        if (static_cast<std::uint32_t>(found >> 32) == tag &&
            text::same_bytes(name_of(ordinal(found)), name)) {
            return slot;
        }
    }
}

// Puts `entry` in the first empty slot from its home slot on.
inline void place(std::uint64_t* slots, std::size_t mask, std::uint64_t entry) {
    std::size_t slot = static_cast<std::size_t>(entry >> 32) & mask;
    while (slots[slot] != 0)
        slot = (slot + 1) & mask;
    slots[slot] = entry;
}

}  // namespace name_slots

// A table of distinct names numbered in order of first insertion: the transform's column index,
// the settling of repeated names on the tape and the constant test's member lookup.
// The keys are drawn, and the table allocated, with the first name; `reset` empties it and
// keeps its memory, so a table reused object after object costs their member counts.
class NameTable {
  public:
    static constexpr std::uint32_t kAbsent = 0xffffffffu;
    struct Found {
        std::uint32_t ordinal;
        bool added;  // the name was new and is now the last ordinal
    };

    // A table whose slots and names live in `area` while it has room (memory/scratch_area.h).
    explicit NameTable(memory::ScratchArea* area = nullptr)
        : slots_(memory::ScratchAllocator<std::uint64_t>(area)),
          names_(memory::ScratchAllocator<std::string_view>(area)) {}

    // Empties the table, with room for `count` names before it grows.
    void reset(std::size_t count) {
        if (!hasher_.seeded()) hasher_.seed();
        slots_.assign(name_slots::count_for(count), 0);
        names_.clear();
        names_.reserve(count);
    }

    // The ordinal of `name`, adding it as the next ordinal when it is new.
    Found find_or_add(std::string_view name) {
        if ((names_.size() + 1) * 2 > slots_.size()) grow();
        return find_or_add_reserved(name);
    }

    // find_or_add for a table reset with room for every name it will hold: no growth to check
    // for, so that it inlines into the loops that index one object's names.
    [[gnu::always_inline]] Found find_or_add_reserved(std::string_view name) {
        const std::uint64_t hash = hasher_(name);
        const std::size_t slot =
            name_slots::probe(slots_.data(), slots_.size() - 1, hash, name, NameOf{names_});
        if (slots_[slot] != 0) return {name_slots::ordinal(slots_[slot]), false};
        const auto ordinal = static_cast<std::uint32_t>(names_.size());
        names_.push_back(name);
        slots_[slot] = name_slots::entry(hash, ordinal);
        return {ordinal, true};
    }

    // The ordinal of `name`, or kAbsent.
    std::uint32_t find(std::string_view name) const {
        if (slots_.empty()) return kAbsent;
        const std::size_t slot = name_slots::probe(slots_.data(), slots_.size() - 1, hasher_(name),
                                                   name, NameOf{names_});
        return slots_[slot] != 0 ? name_slots::ordinal(slots_[slot]) : kAbsent;
    }

    std::size_t size() const { return names_.size(); }
    std::string_view name(std::uint32_t ordinal) const { return names_[ordinal]; }

  private:
    static constexpr std::size_t kFirstNames = 32;

    using Slots = std::vector<std::uint64_t, memory::ScratchAllocator<std::uint64_t>>;
    using Names = std::vector<std::string_view, memory::ScratchAllocator<std::string_view>>;

    // The name an entry stands for.
    struct NameOf {
        const Names& names;
        std::string_view operator()(std::uint32_t ordinal) const { return names[ordinal]; }
    };

    // Doubles the table, or allocates it with the first name.
    [[gnu::noinline]] void grow() {
        if (slots_.empty()) {
            reset(kFirstNames);
            return;
        }
        Slots old(slots_.size() * 2, 0, slots_.get_allocator());
        old.swap(slots_);
        for (std::uint64_t entry : old) {
            if (entry != 0) name_slots::place(slots_.data(), slots_.size() - 1, entry);
        }
    }

    NameHasher hasher_;
    Slots slots_;
    Names names_;
};

}  // namespace vantor::hashing
