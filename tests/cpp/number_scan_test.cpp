// The number scan: the parts and class it finds for every kind of token and at the boundaries of
// the integer classes, where it refuses, and that the exact reader's outcome follows from it
// (accepted where it accepts, with the value its class says; refused where it refuses, at the
// same byte). Random text is checked against the grammar written as a state machine.
#include "text/number_scan.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "text/number_reader.h"

namespace vantor::text {
namespace {

// What the exact reader makes of a token.
enum class Read { unsigned_integer, signed_integer, float64, out_of_range, refused };

struct ScanCase {
    std::string_view input;  // the token, possibly followed by bytes that end it
    NumberClass number_class;
    // For an accepted token: its length and its parts as text. For a refused one, `length` is
    // where the scan stopped: the refusing byte, or the input's size when a digit was due there.
    std::size_t length;
    std::string_view integer = "";
    std::string_view fraction = "";
    std::string_view exponent = "";
    bool exponent_negative = false;
    Read read = Read::refused;
};

constexpr auto kInteger = NumberClass::integer;
constexpr auto kNegativeZero = NumberClass::negative_zero;
constexpr auto kBeyond = NumberClass::integer_beyond_64_bits;
constexpr auto kFloat = NumberClass::fraction_or_exponent;
constexpr auto kRefused = NumberClass::refused;

const ScanCase kCases[] = {
    // Integers and their classes.
    {"0", kInteger, 1, "0", "", "", false, Read::unsigned_integer},
    {"7,", kInteger, 1, "7", "", "", false, Read::unsigned_integer},
    {"-7]", kInteger, 2, "7", "", "", false, Read::signed_integer},
    {"-0", kNegativeZero, 2, "0", "", "", false, Read::float64},
    {"-0 ", kNegativeZero, 2, "0", "", "", false, Read::float64},
    {"12345678901234567890123", kBeyond, 23, "12345678901234567890123", "", "", false,
     Read::float64},
    // 18, 19 and 20 digits around both integer limits.
    {"999999999999999999", kInteger, 18, "999999999999999999", "", "", false,
     Read::unsigned_integer},
    {"-999999999999999999", kInteger, 19, "999999999999999999", "", "", false,
     Read::signed_integer},
    {"9999999999999999999", kInteger, 19, "9999999999999999999", "", "", false,
     Read::unsigned_integer},
    {"-9223372036854775807", kInteger, 20, "9223372036854775807", "", "", false,
     Read::signed_integer},
    {"-9223372036854775808", kInteger, 20, "9223372036854775808", "", "", false,
     Read::signed_integer},
    {"-9223372036854775809", kBeyond, 20, "9223372036854775809", "", "", false, Read::float64},
    {"-9999999999999999999", kBeyond, 20, "9999999999999999999", "", "", false, Read::float64},
    {"10000000000000000000", kInteger, 20, "10000000000000000000", "", "", false,
     Read::unsigned_integer},
    {"18446744073709551615", kInteger, 20, "18446744073709551615", "", "", false,
     Read::unsigned_integer},
    {"18446744073709551616", kBeyond, 20, "18446744073709551616", "", "", false, Read::float64},
    {"99999999999999999999", kBeyond, 20, "99999999999999999999", "", "", false, Read::float64},
    {"-10000000000000000000", kBeyond, 21, "10000000000000000000", "", "", false, Read::float64},
    {"100000000000000000000", kBeyond, 21, "100000000000000000000", "", "", false, Read::float64},
    // Fractions and exponents.
    {"1.5", kFloat, 3, "1", "5", "", false, Read::float64},
    {"-0.0", kFloat, 4, "0", "0", "", false, Read::float64},
    {"0.000123}", kFloat, 8, "0", "000123", "", false, Read::float64},
    {"1.5.2", kFloat, 3, "1", "5", "", false, Read::float64},
    {"1e5", kFloat, 3, "1", "", "5", false, Read::float64},
    {"1E+05", kFloat, 5, "1", "", "05", false, Read::float64},
    {"-2.5e-3,", kFloat, 7, "2", "5", "3", true, Read::float64},
    {"1e5e", kFloat, 3, "1", "", "5", false, Read::float64},
    // Exponents of one to five digits, and beyond binary64 either way.
    {"4e3", kFloat, 3, "4", "", "3", false, Read::float64},
    {"4e30", kFloat, 4, "4", "", "30", false, Read::float64},
    {"4e300", kFloat, 5, "4", "", "300", false, Read::float64},
    {"4e3000", kFloat, 6, "4", "", "3000", false, Read::out_of_range},
    {"4e30000", kFloat, 7, "4", "", "30000", false, Read::out_of_range},
    {"4e-30000", kFloat, 8, "4", "", "30000", true, Read::float64},
    {"0e30000", kFloat, 7, "0", "", "30000", false, Read::float64},
    {"1e-00001", kFloat, 8, "1", "", "00001", true, Read::float64},
    {"1e99999999999", kFloat, 13, "1", "", "99999999999", false, Read::out_of_range},
    // Refused: the byte that refuses, or the end where a digit was due.
    {"-", kRefused, 1},
    {"-x", kRefused, 1},
    {"--1", kRefused, 1},
    {"-.5", kRefused, 1},
    {"01", kRefused, 1},
    {"-01", kRefused, 2},
    {"00", kRefused, 1},
    {"1.", kRefused, 2},
    {"1.]", kRefused, 2},
    {"1.e5", kRefused, 2},
    {"1e", kRefused, 2},
    {"1e+", kRefused, 3},
    {"1E-x", kRefused, 3},
    {"1e.5", kRefused, 2},
    {".5", kRefused, 0},
    {"e5", kRefused, 0},
    {"+1", kRefused, 0},
    {"x", kRefused, 0},
};

const unsigned char* bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

std::string_view text_of(const unsigned char* begin, const unsigned char* end) {
    return {reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin)};
}

TEST(NumberScan, PartsAndClassOfEveryKindOfToken) {
    for (const ScanCase& c : kCases) {
        SCOPED_TRACE(std::string(c.input));
        const unsigned char* begin = bytes(c.input);
        const unsigned char* end = begin + c.input.size();
        NumberToken token = scan_number(begin, end);
        EXPECT_EQ(token.number_class, c.number_class);
        EXPECT_EQ(static_cast<std::size_t>(token.end - begin), c.length);
        if (c.number_class == kRefused) continue;
        EXPECT_EQ(token.negative, c.input.front() == '-');
        EXPECT_EQ(text_of(token.integer, token.integer_end), c.integer);
        EXPECT_EQ(text_of(token.fraction, token.fraction_end), c.fraction);
        EXPECT_EQ(token.has_fraction(), !c.fraction.empty());
        EXPECT_EQ(text_of(token.exponent, token.exponent_end), c.exponent);
        EXPECT_EQ(token.has_exponent(), !c.exponent.empty());
        if (token.has_exponent()) {
            EXPECT_EQ(token.exponent_negative, c.exponent_negative);
            if (c.exponent.size() <= kExactExponentDigits) {
                EXPECT_EQ(token.exponent_magnitude, std::stoul(std::string(c.exponent)));
            }
        }
    }
}

TEST(NumberScan, TheExactReaderFollowsTheScan) {
    for (const ScanCase& c : kCases) {
        SCOPED_TRACE(std::string(c.input));
        const unsigned char* begin = bytes(c.input);
        const unsigned char* end = begin + c.input.size();
        NumberToken token = scan_number(begin, end);
        const unsigned char* cursor = begin;
        JsonNumber number = JsonNumber::from_unsigned(0);
        ReadError error;
        bool ok = read_number(begin, cursor, end, number, error);
        switch (c.read) {
            case Read::refused:
                ASSERT_FALSE(ok);
                if (c.length == c.input.size()) {
                    EXPECT_EQ(error.code, ReadErrorCode::eof_value);
                    EXPECT_EQ(error.position, c.input.size());
                } else {
                    EXPECT_EQ(error.code, ReadErrorCode::invalid_number);
                    EXPECT_EQ(error.position, c.length + 1);
                }
                continue;
            case Read::out_of_range:
                ASSERT_FALSE(ok);
                EXPECT_EQ(error.code, ReadErrorCode::number_out_of_range);
                continue;
            case Read::unsigned_integer:
            case Read::signed_integer: {
                ASSERT_TRUE(ok);
                EXPECT_EQ(cursor, token.end);
                const auto variant = c.read == Read::unsigned_integer
                                         ? JsonNumber::Variant::unsigned_integer
                                         : JsonNumber::Variant::signed_integer;
                ASSERT_EQ(number.variant(), variant);
                EXPECT_TRUE(integer_token_value(token) == number);
                // The value against the standard library's own parse of the token.
                if (variant == JsonNumber::Variant::unsigned_integer) {
                    std::uint64_t expected = 0;
                    std::from_chars(c.input.data(), c.input.data() + c.length, expected);
                    EXPECT_EQ(number.unsigned_value(), expected);
                } else {
                    std::int64_t expected = 0;
                    std::from_chars(c.input.data(), c.input.data() + c.length, expected);
                    EXPECT_EQ(number.signed_value(), expected);
                }
                continue;
            }
            case Read::float64:
                ASSERT_TRUE(ok);
                EXPECT_EQ(cursor, token.end);
                ASSERT_EQ(number.variant(), JsonNumber::Variant::float64);
                EXPECT_EQ(std::signbit(number.float_value()), token.negative);
                if (c.number_class == kNegativeZero) {
                    EXPECT_EQ(number.float_value(), 0.0);
                }
                continue;
        }
    }
}

// The grammar as a state machine, one state per place in a token: the length of the longest
// prefix of `text` that is a whole token, 0 when none is.
std::size_t longest_token(std::string_view text) {
    enum State { start, sign, zero, integer, point, fraction, mark, exponent_sign, exponent };
    auto next = [](State state, char c) -> int {
        const bool digit = c >= '0' && c <= '9';
        switch (state) {
            case start:
                return c == '-' ? sign : c == '0' ? zero : digit ? integer : -1;
            case sign:
                return c == '0' ? zero : digit ? integer : -1;
            case zero:
            case integer:
                if (state == integer && digit) return integer;
                return c == '.' ? point : (c == 'e' || c == 'E') ? mark : -1;
            case point:
                return digit ? fraction : -1;
            case fraction:
                return digit ? fraction : (c == 'e' || c == 'E') ? mark : -1;
            case mark:
                return (c == '+' || c == '-') ? exponent_sign : digit ? exponent : -1;
            case exponent_sign:
            case exponent:
                return digit ? exponent : -1;
        }
        return -1;
    };
    State state = start;
    std::size_t longest = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        int to = next(state, text[i]);
        if (to < 0) break;
        state = static_cast<State>(to);
        if (state == zero || state == integer || state == fraction || state == exponent) {
            longest = i + 1;
        }
    }
    return longest;
}

TEST(NumberScan, RandomTextAgainstTheGrammar) {
    std::mt19937_64 random(11);
    const std::string_view alphabet = "0123456789-+.eE,x";
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const std::size_t size = 1 + random() % 10;
        for (std::size_t k = 0; k < size; ++k) {
            // Mostly digits, so that long tokens come up.
            text += random() % 2 ? static_cast<char>('0' + random() % 10)
                                 : alphabet[random() % alphabet.size()];
        }
        SCOPED_TRACE(text);
        const std::string token = text.substr(0, longest_token(text));
        // The scan refuses where the byte after the longest token would have continued it: a
        // digit after a leading zero, a point before any fraction or exponent, an exponent mark
        // before any exponent.
        bool continues = false;
        if (token.size() < text.size()) {
            const char next = text[token.size()];
            const bool has_point = token.find('.') != std::string::npos;
            const bool has_exponent = token.find_first_of("eE") != std::string::npos;
            continues = (next >= '0' && next <= '9') ||
                        (next == '.' && !has_point && !has_exponent) ||
                        ((next == 'e' || next == 'E') && !has_exponent);
        }
        const bool accepted = !token.empty() && !continues;
        const unsigned char* begin = bytes(text);
        NumberToken scanned = scan_number(begin, begin + text.size());
        ASSERT_EQ(scanned.number_class != kRefused, accepted);
        if (accepted) {
            EXPECT_EQ(text_of(begin, scanned.end), token);
            const bool integer_token = token.find_first_of(".eE") == std::string::npos;
            EXPECT_EQ(scanned.number_class == kFloat, !integer_token);
        }
        // The exact reader accepts the same tokens (short of a value beyond binary64).
        const unsigned char* cursor = begin;
        JsonNumber number = JsonNumber::from_unsigned(0);
        ReadError error;
        if (read_number(begin, cursor, begin + text.size(), number, error)) {
            EXPECT_TRUE(accepted);
            EXPECT_EQ(cursor, scanned.end);
        } else {
            EXPECT_EQ(accepted, error.code == ReadErrorCode::number_out_of_range);
        }
    }
}

}  // namespace
}  // namespace vantor::text
