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

struct SipState {
    std::uint64_t v0, v1, v2, v3;
    inline void round() {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }
};

inline std::uint64_t load_le64(const unsigned char* p) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

}  // namespace

std::uint64_t siphash13(const HashKeys& keys, std::string_view data) noexcept {
    SipState s{keys.k0 ^ 0x736f6d6570736575ULL, keys.k1 ^ 0x646f72616e646f6dULL,
               keys.k0 ^ 0x6c7967656e657261ULL, keys.k1 ^ 0x7465646279746573ULL};
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t length = data.size();
    const std::size_t whole = length & ~std::size_t{7};
    for (std::size_t i = 0; i < whole; i += 8) {
        std::uint64_t m = load_le64(bytes + i);
        s.v3 ^= m;
        s.round();
        s.v0 ^= m;
    }
    std::uint64_t last = static_cast<std::uint64_t>(length) << 56;
    for (std::size_t i = whole; i < length; ++i) {
        last |= static_cast<std::uint64_t>(bytes[i]) << (8 * (i - whole));
    }
    s.v3 ^= last;
    s.round();
    s.v0 ^= last;
    s.v2 ^= 0xff;
    s.round();
    s.round();
    s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

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
