// Member names are compared with word loads; every length and every differing position must give
// the byte-for-byte answer, and no load may reach past either name (the sanitizer build checks
// that: each name sits in a heap block of exactly its size).
#include <gtest/gtest.h>

#include <memory>
#include <string_view>

#include "text/same_bytes.h"

namespace {

using vantor::json::same_bytes;

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

}  // namespace
