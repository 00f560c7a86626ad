#include "hashing/keyed_hash.h"

#include <bit>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "hashing/random_source.h"

namespace vantor::hashing {
namespace {

inline std::uint64_t rotl(std::uint64_t x, int b) {
    return (x << b) | (x >> (64 - b));
}

}  // namespace

HashKeys next_hash_keys() {
    struct ThreadKeys {
        HashKeys keys;
        ThreadKeys() {
            if (!fill_random_bytes(&keys, sizeof keys)) {
                // No random source: still vary the keys per thread and per run.
                auto now = static_cast<std::uint64_t>(
                    std::chrono::high_resolution_clock::now().time_since_epoch().count());
                auto thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
                keys = {now ^ 0x9e3779b97f4a7c15ULL, rotl(now, 29) ^ thread};
            }
        }
    };
    // Per thread, so that calls on different threads (the module releases the interpreter lock,
    // and a free-threaded interpreter has none) never share it: no lock, and no data race.
    thread_local ThreadKeys state;
    HashKeys keys = state.keys;
    state.keys.k0 += 1;
    return keys;
}

}  // namespace vantor::hashing
