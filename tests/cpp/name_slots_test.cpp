// The probe of the table of names with hashes chosen to collide: names whose 32-bit tags are
// equal are told apart by their bytes, wherever the probe meets them, and a name whose tag
// matches an entry's but which was never added is absent. Random keys make such hashes rare, so
// only chosen ones reach this case.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "hashing/name_table.h"

namespace {

namespace name_slots = vantor::hashing::name_slots;

constexpr std::uint64_t hash_of(std::uint32_t tag, std::uint32_t low) {
    return (std::uint64_t{tag} << 32) | low;
}

TEST(NameSlots, NamesWithCollidingTagsStayApart) {
    struct Entry {
        std::string_view name;
        std::uint64_t hash;
    };
    struct Case {
        const char* what;
        std::vector<Entry> added;
        std::vector<Entry> absent;
    };
    const Case cases[] = {
        {"two names, one tag",
         {{"a", hash_of(7, 1)}, {"b", hash_of(7, 2)}},
         {{"c", hash_of(7, 3)}}},
        {"one tag for names of equal length that share a prefix",
         {{"name_1", hash_of(0xABCD0003, 0)},
          {"name_2", hash_of(0xABCD0003, 0)},
          {"name_3", hash_of(0xABCD0003, 0)}},
         {{"name_4", hash_of(0xABCD0003, 0)}, {"name_", hash_of(0xABCD0003, 0)}}},
        {"colliding tags around the end of the table, where the probe wraps",
         {{"x", hash_of(15, 0)}, {"y", hash_of(15, 0)}, {"z", hash_of(31, 0)}},
         {{"w", hash_of(15, 0)}, {"", hash_of(31, 0)}}},
        {"the same home slot from different tags",
         {{"p", hash_of(0x10, 0)}, {"q", hash_of(0x20, 0)}},
         {{"r", hash_of(0x30, 0)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string_view> names;
        const std::size_t count = name_slots::count_for(c.added.size());
        std::vector<std::uint64_t> slots(count, 0);
        const std::size_t mask = count - 1;
        auto name_of = [&names](std::uint32_t ordinal) { return names[ordinal]; };
        for (const Entry& entry : c.added) {
            const std::size_t slot =
                name_slots::probe(slots.data(), mask, entry.hash, entry.name, name_of);
            ASSERT_EQ(slots[slot], 0u) << entry.name << " found before it was added";
            slots[slot] = name_slots::entry(entry.hash, static_cast<std::uint32_t>(names.size()));
            names.push_back(entry.name);
        }
        for (std::size_t ordinal = 0; ordinal < c.added.size(); ++ordinal) {
            const Entry& entry = c.added[ordinal];
            const std::size_t slot =
                name_slots::probe(slots.data(), mask, entry.hash, entry.name, name_of);
            ASSERT_NE(slots[slot], 0u) << entry.name;
            EXPECT_EQ(name_slots::ordinal(slots[slot]), ordinal) << entry.name;
        }
        for (const Entry& entry : c.absent) {
            const std::size_t slot =
                name_slots::probe(slots.data(), mask, entry.hash, entry.name, name_of);
            EXPECT_EQ(slots[slot], 0u) << entry.name << " found though never added";
        }
    }
}

}  // namespace
