// The string scan's vector and portable paths against a byte-by-byte definition of a run's end.
#include "text/string_scan.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <vector>

namespace {

// The 64-bit platforms we build for take a vector path; a condition that stopped matching would
// leave them on the portable one without a test noticing.
#if (defined(__x86_64__) && !defined(VANTOR_STRING_SCAN_SSE2)) || \
    (defined(__aarch64__) && !defined(VANTOR_STRING_SCAN_NEON))
#error "the string scan takes no vector path on this 64-bit platform"
#endif

// Every byte value at every position of a 16-byte block, in plain text of 16 and of 40 bytes (a
// vector step, then the rest): the comparisons' edges (0x1f and 0x20, 0x7f and 0x80, the
// neighbours of the quote and the backslash) and each lane's place in the vector's mask.
TEST(StringScan, EveryByteValueAtEveryPositionOfABlock) {
    for (std::size_t size : {std::size_t{16}, std::size_t{40}}) {
        for (std::size_t position = 0; position < 16; ++position) {
            for (unsigned value = 0; value < 256; ++value) {
                std::vector<unsigned char> bytes(size, 'a');
                bytes[position] = static_cast<unsigned char>(value);
                const unsigned char* begin = bytes.data();
                const unsigned char* end = begin + size;
                bool ends = value < 0x20 || value >= 0x80 || value == '"' || value == '\\';
                std::size_t expected = ends ? position : size;
                ASSERT_EQ(vantor::json::find_run_end(begin, end) - begin, expected)
                    << "byte " << value << " at " << position << " of " << size;
                ASSERT_EQ(vantor::json::find_run_end_portable(begin, end) - begin, expected)
                    << "byte " << value << " at " << position << " of " << size;
                ASSERT_EQ(vantor::json::first_run_end_16(begin), ends ? position : 16u)
                    << "byte " << value << " at " << position;
            }
        }
    }
}

TEST(StringScan, VectorAndPortableScansFindTheSameByte) {
    std::mt19937_64 random(3);
    const unsigned char specials[] = {'"', '\\', 0x00, 0x1f, 0x80, 0xff, 0xc3};
    for (int i = 0; i < 20000; ++i) {
        std::vector<unsigned char> bytes(random() % 70);
        for (auto& b : bytes)
            b = static_cast<unsigned char>(0x20 + random() % 0x5f);
        if (!bytes.empty() && random() % 4 != 0) {
            bytes[random() % bytes.size()] = specials[random() % std::size(specials)];
        }
        const unsigned char* begin = bytes.data();
        const unsigned char* end = begin + bytes.size();
        const unsigned char* expected = begin;
        while (expected < end && *expected >= 0x20 && *expected < 0x80 && *expected != '"' &&
               *expected != '\\') {
            ++expected;
        }
        ASSERT_EQ(vantor::json::find_run_end(begin, end), expected);
        ASSERT_EQ(vantor::json::find_run_end_portable(begin, end), expected);
        if (bytes.size() >= 16) {
            auto within = static_cast<unsigned>(expected - begin);
            ASSERT_EQ(vantor::json::first_run_end_16(begin), within < 16 ? within : 16u);
        }
    }
}

}  // namespace
