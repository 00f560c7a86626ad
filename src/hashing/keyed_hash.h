#pragma once
// The keys of the hashing of member names. An attacker controls every name in a payload, so every
// table of names is keyed by secret keys drawn per thread: crafted collisions cannot be
// precomputed. The tables of names (the column index, the settling of repeated names on the tape,
// the tape comparison's member lookup) hash with the keyed mix of name_table.h. No output depends
// on the keys, since every order shown is an insertion order.
#include <cstdint>
#include <string_view>

namespace vantor::hashing {

struct HashKeys {
    std::uint64_t k0;
    std::uint64_t k1;
};

// Keys for a new map or set: the calling thread's keys, drawn once per thread from the operating
// system's random source; the thread's first key is then increased by one, so maps created one
// after another do not share keys.
HashKeys next_hash_keys();

}  // namespace vantor::hashing
