// The operating system's random source and the per-thread hash keys drawn from it. Built for
// Windows too (./dev test-windows-core), where the source is ProcessPrng.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hashing/keyed_hash.h"
#include "hashing/name_table.h"
#include "hashing/random_source.h"

namespace {

using vantor::hashing::fill_random_bytes;
using vantor::hashing::HashKeys;
using vantor::hashing::NameHasher;
using vantor::hashing::next_hash_keys;

TEST(RandomSource, FillsBuffersOfEverySize) {
    // Sizes around the 16 bytes of one key pair, and a large one. For 16 bytes and more, a
    // buffer left as it was (or all zero) would happen by chance with odds below 2^-128.
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{15}, std::size_t{16},
                             std::size_t{17}, std::size_t{4096}}) {
        SCOPED_TRACE(size);
        std::vector<unsigned char> first(size, 0xAB);
        std::vector<unsigned char> second(size, 0xAB);
        ASSERT_TRUE(fill_random_bytes(first.data(), size));
        ASSERT_TRUE(fill_random_bytes(second.data(), size));
        if (size >= 16) {
            EXPECT_NE(first, std::vector<unsigned char>(size, 0xAB));
            EXPECT_NE(first, std::vector<unsigned char>(size, 0));
            EXPECT_NE(first, second);
        }
    }
}

TEST(RandomSource, LeavesBytesPastTheSizeAlone) {
    std::array<unsigned char, 32> buffer{};
    buffer.fill(0x5A);
    ASSERT_TRUE(fill_random_bytes(buffer.data(), 16));
    EXPECT_TRUE(
        std::all_of(buffer.begin() + 16, buffer.end(), [](unsigned char b) { return b == 0x5A; }));
}

#if defined(__linux__)
// The source on kernels without the getrandom call, which this machine's kernel has.
TEST(RandomSource, DeviceFillsTheBufferOrSaysItCannot) {
    struct Case {
        const char* path;
        std::size_t size;
        bool filled;
    };
    const Case cases[] = {
        {"/dev/urandom", 0, true},
        {"/dev/urandom", 16, true},
        {"/dev/urandom", 4096, true},
        // A device that runs dry before the buffer is full, and one that is not there.
        {"/dev/null", 0, true},
        {"/dev/null", 16, false},
        {"/nonexistent/urandom", 16, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.size));
        std::vector<unsigned char> first(c.size, 0xAB);
        std::vector<unsigned char> second(c.size, 0xAB);
        EXPECT_EQ(vantor::hashing::read_random_device(first.data(), c.size, c.path), c.filled);
        if (c.filled && c.size >= 16) {
            ASSERT_TRUE(vantor::hashing::read_random_device(second.data(), c.size, c.path));
            EXPECT_NE(first, std::vector<unsigned char>(c.size, 0xAB));
            EXPECT_NE(first, second);
        }
    }
}
#endif

TEST(HashKeys, MapsMadeOneAfterAnotherDoNotShareKeys) {
    // Keys that repeat would let one crafted payload collide in several maps; the same name
    // must also hash differently under each map's keys.
    constexpr std::size_t map_count = 100;
    std::set<std::pair<std::uint64_t, std::uint64_t>> keys;
    std::set<std::uint64_t> hashes;
    for (std::size_t n = 0; n < map_count; ++n) {
        HashKeys drawn = next_hash_keys();
        keys.emplace(drawn.k0, drawn.k1);
        NameHasher hasher;  // a table's hasher draws its own keys when it is seeded
        hasher.seed();
        hashes.insert(hasher("name"));
    }
    EXPECT_EQ(keys.size(), map_count);
    EXPECT_EQ(hashes.size(), map_count);
}

TEST(HashKeys, EveryThreadDrawsItsOwn) {
    constexpr int thread_count = 8;
    std::vector<HashKeys> keys(thread_count);
    std::vector<std::thread> threads;
    for (int i = 0; i < thread_count; ++i) {
        threads.emplace_back([&keys, i] { keys[static_cast<std::size_t>(i)] = next_hash_keys(); });
    }
    for (auto& thread : threads)
        thread.join();
    keys.push_back(next_hash_keys());
    std::set<std::pair<std::uint64_t, std::uint64_t>> distinct;
    for (const HashKeys& k : keys)
        distinct.emplace(k.k0, k.k1);
    EXPECT_EQ(distinct.size(), keys.size());
}

}  // namespace
