// Member names are compared with word loads; every length and every differing position must give
// the byte-for-byte answer, and no load may reach past either name (the sanitizer build checks
// that: each name sits in a heap block of exactly its size).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hashing/name_table.h"
#include "text/same_bytes.h"

namespace {

using vantor::text::same_bytes;

std::unique_ptr<char[]> exact_copy(std::string_view text) {
    auto copy = std::make_unique<char[]>(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        copy[i] = text[i];
    return copy;
}

TEST(SameName, EveryLengthAndEveryDifferingByte) {
    const std::string_view source = "abcdefghijklmnopqrstuvwxyz0123";
    for (std::size_t n = 0; n <= source.size(); ++n) {
        auto left = exact_copy(source.substr(0, n));
        auto right = exact_copy(source.substr(0, n));
        std::string_view a(left.get(), n), b(right.get(), n);
        EXPECT_TRUE(same_bytes(a, b)) << n;
        for (std::size_t i = 0; i < n; ++i) {
            right[i] ^= 0x20;
            EXPECT_FALSE(same_bytes(a, b)) << "length " << n << ", byte " << i;
            right[i] ^= 0x20;
        }
        if (n > 0) {
            EXPECT_FALSE(same_bytes(a, b.substr(0, n - 1))) << n;
        }
    }
}

TEST(SameName, NonAsciiAndNulBytes) {
    EXPECT_TRUE(
        same_bytes(std::string_view("Zo\xc3\xab\0x", 6), std::string_view("Zo\xc3\xab\0x", 6)));
    EXPECT_FALSE(
        same_bytes(std::string_view("Zo\xc3\xab\0x", 6), std::string_view("Zo\xc3\xab\0y", 6)));
    EXPECT_FALSE(same_bytes("a", "A"));
}

// The comparison within one block of sixteen bytes: bytes at and after `n` never count, every
// byte before it does, for every `n` up to 16.
TEST(SameName, WithinOneBlockOnlyTheFirstBytesCount) {
    const std::string source = "abcdefghijklmnop";
    for (std::size_t n = 0; n <= 16; ++n) {
        for (std::size_t i = 0; i < 16; ++i) {
            std::string other = source;
            other[i] ^= 0x01;
            EXPECT_EQ(vantor::text::same_bytes_in_block(source.data(), other.data(), n), i >= n)
                << "length " << n << ", byte " << i;
        }
        EXPECT_TRUE(vantor::text::same_bytes_in_block(source.data(), source.data(), n)) << n;
    }
}

// The one table of names: ordinals in order of first insertion across every growth of the table,
// a name given again found at its ordinal, and names absent until added; the table is reused
// after reset with more and fewer names than before, and the names differ only in their last
// bytes, past the hash's first 16.
TEST(NameTableTest, OrdinalsSurviveGrowthAndReset) {
    vantor::hashing::NameTable table;
    for (std::size_t count : {0u, 1u, 8u, 33u, 1000u, 17u, 5000u}) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < count; ++i)
            names.push_back("a_common_prefix_longer_than_16_" + std::to_string(i));
        table.reset(count / 4);
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_EQ(table.find(names[i]), vantor::hashing::NameTable::kAbsent)
                << count << " " << i;
            auto found = table.find_or_add(names[i]);
            ASSERT_TRUE(found.added) << count << " " << i;
            ASSERT_EQ(found.ordinal, i);
        }
        EXPECT_EQ(table.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            auto found = table.find_or_add(names[count - 1 - i]);
            EXPECT_FALSE(found.added) << count << " " << i;
            EXPECT_EQ(found.ordinal, count - 1 - i);
            EXPECT_EQ(table.find(names[i]), i);
            EXPECT_EQ(table.name(static_cast<std::uint32_t>(i)), names[i]);
        }
        EXPECT_EQ(table.find("a_common_prefix_longer_than_16_x"),
                  vantor::hashing::NameTable::kAbsent);
    }
}

}  // namespace
