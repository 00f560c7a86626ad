// The code-point rules both string decoders share: the UTF-8 bytes at the edges of each length
// and of the surrogates, written out by hand; surrogate pairs at the edges of their range; and
// every code point's bytes accepted as one well-formed sequence by the UTF-8 check's own rules.
#include "text/code_points.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "text/string_scan.h"

namespace vantor::text {
namespace {

// The bytes write_utf8 writes for `code_point`; it must touch nothing past them.
std::string utf8_of(std::uint32_t code_point) {
    char buffer[kMaxUtf8Bytes + 4];
    std::memset(buffer, '\x55', sizeof buffer);
    const char* end = write_utf8(code_point, buffer);
    const auto size = static_cast<std::size_t>(end - buffer);
    EXPECT_LE(size, static_cast<std::size_t>(kMaxUtf8Bytes)) << std::hex << code_point;
    for (std::size_t i = size; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], '\x55') << "byte " << i << " of U+" << std::hex << code_point;
    return {buffer, size};
}

TEST(CodePoints, Utf8AtTheEdgesOfEachLength) {
    struct Case {
        std::uint32_t code_point;
        std::string_view utf8;
    };
    const Case cases[] = {
        {0x0000, std::string_view("\0", 1)},
        {0x0041, "A"},
        {0x007F, "\x7F"},
        {0x0080, "\xC2\x80"},
        {0x00E9, "\xC3\xA9"},
        {0x07FF, "\xDF\xBF"},
        {0x0800, "\xE0\xA0\x80"},
        {0x0FFF, "\xE0\xBF\xBF"},
        {0x1000, "\xE1\x80\x80"},
        {0xD7FF, "\xED\x9F\xBF"},  // just below the surrogates
        {0xE000, "\xEE\x80\x80"},  // just above them
        {0xFFFD, "\xEF\xBF\xBD"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x1F600, "\xF0\x9F\x98\x80"},
        {0x3FFFF, "\xF0\xBF\xBF\xBF"},
        {0x40000, "\xF1\x80\x80\x80"},
        {0x100000, "\xF4\x80\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8_of(c.code_point), c.utf8) << "U+" << std::hex << c.code_point;
        if (c.code_point < kFirstPairCodePoint) {
            // The tape reader's writer of single units writes the same bytes.
            char buffer[kMaxUtf8Bytes];
            const char* end = write_utf8_below_pairs(c.code_point, buffer);
            EXPECT_EQ(std::string_view(buffer, static_cast<std::size_t>(end - buffer)), c.utf8)
                << "U+" << std::hex << c.code_point;
        }
    }
}

TEST(CodePoints, SurrogatePairsAtTheEdgesOfTheirRange) {
    struct Case {
        std::uint32_t high;
        std::uint32_t low;
        std::uint32_t code_point;
        std::string_view utf8;
    };
    const Case cases[] = {
        {0xD800, 0xDC00, 0x10000, "\xF0\x90\x80\x80"},   // the lowest pair
        {0xDBFF, 0xDFFF, 0x10FFFF, "\xF4\x8F\xBF\xBF"},  // the highest pair
        {0xD800, 0xDFFF, 0x103FF, "\xF0\x90\x8F\xBF"},
        {0xDBFF, 0xDC00, 0x10FC00, "\xF4\x8F\xB0\x80"},
        {0xD83D, 0xDE00, 0x1F600, "\xF0\x9F\x98\x80"},
        {0xD8C0, 0xDC00, 0x40000, "\xF1\x80\x80\x80"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(is_high_surrogate(c.high)) << std::hex << c.high;
        ASSERT_TRUE(is_low_surrogate(c.low)) << std::hex << c.low;
        EXPECT_EQ(join_surrogates(c.high, c.low), c.code_point) << std::hex << c.high << c.low;
        EXPECT_EQ(utf8_of(join_surrogates(c.high, c.low)), c.utf8) << std::hex << c.code_point;
    }
}

// Every code point outside the surrogates: its bytes are one well-formed sequence of the length
// its range calls for, by the rules the tape reader checks payloads with (no overlong form, no
// surrogate, nothing above U+10FFFF).
TEST(CodePoints, EveryCodePointIsOneWellFormedSequence) {
    for (std::uint32_t code_point = 0; code_point <= 0x10FFFF; ++code_point) {
        if (is_surrogate(code_point)) continue;
        unsigned char bytes[kMaxUtf8Bytes];
        const char* end = write_utf8(code_point, reinterpret_cast<char*>(bytes));
        const auto size = static_cast<std::size_t>(end - reinterpret_cast<char*>(bytes));
        const std::size_t expected = code_point < 0x80      ? 1
                                     : code_point < 0x800   ? 2
                                     : code_point < 0x10000 ? 3
                                                            : 4;
        ASSERT_EQ(size, expected) << "U+" << std::hex << code_point;
        if (size == 1) {
            ASSERT_EQ(bytes[0], code_point);
        } else {
            ASSERT_EQ(utf8_sequence_length(bytes, bytes + size), size)
                << "U+" << std::hex << code_point;
        }
    }
}

}  // namespace
}  // namespace vantor::text
