#pragma once
// Keyed hashing of member names, and an index from the names of one object to their ordinals.
// Names come from the payload, so the hash is keyed by the thread's random hash keys
// (hashing/hash.h): colliding names cannot be prepared in advance, and no input can make a lookup
// cost more than a few probes on average. No output depends on the keys.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "hashing/hash.h"
#include "text/same_bytes.h"

namespace vantor::json {

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
        __extension__ using uint128 = unsigned __int128;
        uint128 product = static_cast<uint128>(a) * b;
        return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
    }

    HashKeys keys_{};
    bool seeded_ = false;
};

// The distinct names of one object at a time, numbered in order of insertion: open addressing
// over the keyed hash, at most half full. It is emptied for each object and keeps its memory, so
// indexing an object costs its member count, not an allocation.
class NameIndex {
  public:
    static constexpr std::uint32_t kAbsent = 0xffffffffu;

    // Empties the index for up to `count` names; draws the keys the first time.
    void reset(std::size_t count) {
        if (!hasher_.seeded()) hasher_.seed();
        std::size_t slot_count = 16;
        while (slot_count < count * 2)
            slot_count *= 2;
        slots_.assign(slot_count, 0);
        names_.clear();
        names_.reserve(count);
    }

    // The ordinal of `name` when it is in the index; otherwise it is added as the next ordinal
    // and kAbsent is returned.
    std::uint32_t find_or_add(std::string_view name) {
        const std::uint64_t hash = hasher_(name);
        std::size_t slot = probe(name, hash);
        if (slots_[slot] != 0) return static_cast<std::uint32_t>(slots_[slot]) - 1;
        auto ordinal = static_cast<std::uint32_t>(names_.size());
        names_.push_back(name);
        slots_[slot] = (hash >> 32 << 32) | (static_cast<std::uint64_t>(ordinal) + 1);
        return kAbsent;
    }

    // The ordinal of `name`, or kAbsent.
    std::uint32_t find(std::string_view name) const {
        std::size_t slot = probe(name, hasher_(name));
        return slots_[slot] != 0 ? static_cast<std::uint32_t>(slots_[slot]) - 1 : kAbsent;
    }

  private:
    // The slot holding `name`, or the empty slot where it would go.
    std::size_t probe(std::string_view name, std::uint64_t hash) const {
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
            const std::uint64_t entry = slots_[slot];
            if (entry == 0) return slot;
            if (static_cast<std::uint32_t>(entry >> 32) == tag &&
                same_bytes(names_[static_cast<std::uint32_t>(entry) - 1], name)) {
                return slot;
            }
        }
    }

    NameHasher hasher_;
    // Each slot: the upper 32 bits of the name's hash over the ordinal + 1; 0 when empty.
    std::vector<std::uint64_t> slots_;
    std::vector<std::string_view> names_;
};

}  // namespace vantor::json
