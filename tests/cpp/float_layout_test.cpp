// The float layout against the float writer: a token is in the layout exactly when the writer
// writes that same token for the value it denotes. Hand-picked tokens carry the expected answer
// as well, so that a slip shared by the layout test and the writer shows too; a sweep of tokens
// written at every precision from edge values checks the agreement alone.
#include "text/float_layout.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

#include "text/float_text.h"

namespace vantor::text {
namespace {

// What the readers know of a token with a point and no exponent.
struct TokenParts {
    unsigned char last_fraction_digit;
    std::int64_t fraction_digits;
    bool integer_zero;
    std::int64_t leading_zeros;       // zeros leading the fraction, counted when integer_zero
    std::int64_t significant_digits;  // as in_float_layout counts them
};

TokenParts parts_of(std::string_view token) {
    if (token.front() == '-') token.remove_prefix(1);
    const std::size_t point = token.find('.');
    const std::string_view integer = token.substr(0, point);
    const std::string_view fraction = token.substr(point + 1);
    TokenParts parts{};
    parts.last_fraction_digit = static_cast<unsigned char>(fraction.back());
    parts.fraction_digits = static_cast<std::int64_t>(fraction.size());
    parts.integer_zero = integer == "0";
    if (parts.integer_zero) {
        while (parts.leading_zeros < parts.fraction_digits &&
               fraction[static_cast<std::size_t>(parts.leading_zeros)] == '0') {
            ++parts.leading_zeros;
        }
    }
    parts.significant_digits =
        (parts.integer_zero ? 0 : static_cast<std::int64_t>(integer.size())) +
        parts.fraction_digits - parts.leading_zeros;
    return parts;
}

bool layout_says(std::string_view token) {
    const TokenParts parts = parts_of(token);
    return in_float_layout(parts.last_fraction_digit, parts.fraction_digits, parts.integer_zero,
                           parts.leading_zeros);
}

// The float writer's text of the value the token denotes.
std::string writer_text(std::string_view token) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    EXPECT_EQ(error, std::errc()) << token;
    EXPECT_EQ(end, token.data() + token.size()) << token;
    char out[kFloatTextScratchSize];
    return {out, format_float_text(value, out)};
}

// Whether the token is one in_float_layout answers for: a point, no exponent, a value other than
// zero and no more significant digits than make its shortest digits its own.
bool in_domain(std::string_view token) {
    if (token.find('.') == std::string_view::npos) return false;
    if (token.find_first_of("eE") != std::string_view::npos) return false;
    const TokenParts parts = parts_of(token);
    return parts.significant_digits > 0 && parts.significant_digits <= kOwnShortestDigitsMax;
}

TEST(FloatLayout, HandPickedTokens) {
    struct Case {
        std::string_view token;
        bool in_layout;
    };
    const Case cases[] = {
        {"0.1", true},
        {"0.3", true},
        {"0.30", false},  // a trailing zero
        {"1.0", true},
        {"1.00", false},
        {"-1.0", true},
        {"10.0", true},
        {"10.5", true},
        {"10.50", false},
        {"123.45", true},
        {"123.450", false},
        {"-123.45", true},
        {"-123.450", false},
        {"7.0000", false},
        {"0.5", true},
        {"-0.5", true},
        {"0.50", false},
        {"0.05", true},
        {"0.0001", true},
        {"0.00001", true},  // the smallest power of ten written positionally
        {"-0.00001", true},
        {"0.0000123", true},
        {"0.0000099", false},  // 9.9e-6
        {"0.000001", false},   // 1e-6
        {"-0.000001", false},
        {"0.00000123", false},
        {"0.000010", false},
        {"0.123456789012345", true},  // 15 significant digits
        {"0.000012345678901234", true},
        {"1.23456789012345", true},
        {"99999999999999.9", true},
        {"12345678901234.0", true},  // 14 integer digits and the single zero
        {"10000000000000.5", true},
        {"-99999999999999.9", true},
        {"123456789.012340", false},
        {"3.14159265358979", true},
        {"0.1000", false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(in_domain(c.token)) << c.token;
        EXPECT_EQ(layout_says(c.token), c.in_layout) << c.token;
        EXPECT_EQ(writer_text(c.token) == c.token, c.in_layout)
            << c.token << " is written " << writer_text(c.token);
    }
}

// Each seed value written with every count of fraction digits, positive and negative: trailing
// zeros, rounded forms and the writer's own form all come up. The counts of tokens in and out of
// the layout guard against a sweep that checks nothing.
TEST(FloatLayout, AgreesWithTheWriterOnTokensOfEdgeValues) {
    const double seeds[] = {
        0.1,
        0.2,
        0.3,
        1.0,
        1.5,
        10.5,
        100.0,
        123.45,
        0.001234,
        0.0001,
        0.00001,
        0.0000123,
        0.0000099,
        0.000001,
        0.00000123,
        1.0 / 3.0,
        2.0 / 3.0,
        3.141592653589793,
        2.718281828459045,
        12345.678,
        0.123456789012345,
        1.23456789012345,
        1234567890.12345,
        99999999999999.9,
        999999999999999.0,
        123456789012345.0,
        100000000000000.0,
        1e14 + 0.5,
        9007199254740.993,
        4.35,
        0.015,
        1.005,
        5e-5,
        0.99999,
    };
    int in_layout = 0;
    int out_of_layout = 0;
    for (double seed : seeds) {
        for (double value : {seed, -seed}) {
            for (int precision = 1; precision <= 20; ++precision) {
                char token[64];
                const int size = std::snprintf(token, sizeof token, "%.*f", precision, value);
                ASSERT_GT(size, 0);
                ASSERT_LT(size, static_cast<int>(sizeof token));
                const std::string_view text(token, static_cast<std::size_t>(size));
                if (!in_domain(text)) continue;
                const bool written = writer_text(text) == text;
                EXPECT_EQ(layout_says(text), written)
                    << text << " is written " << writer_text(text);
                ++(written ? in_layout : out_of_layout);
            }
        }
    }
    EXPECT_GT(in_layout, 50);
    EXPECT_GT(out_of_layout, 200);
}

// An integer token equals a float text in the layout exactly when their values are equal; the
// integers and texts are paired every way.
TEST(FloatLayout, IntegerMatchesFloatTextByValue) {
    const std::string_view integers[] = {
        "0", "1", "-1", "10", "123", "-123", "99999999999999", "12345678901234"};
    const std::string_view float_texts[] = {"0.0",
                                            "-0.0",
                                            "1.0",
                                            "-1.0",
                                            "10.0",
                                            "1.5",
                                            "123.0",
                                            "-123.0",
                                            "12.3",
                                            "0.1",
                                            "99999999999999.0",
                                            "99999999999999.9",
                                            "12345678901234.0",
                                            "1.23"};
    for (std::string_view float_text : float_texts) {
        ASSERT_EQ(writer_text(float_text), float_text) << "not in the layout";
        double float_value = 0.0;
        std::from_chars(float_text.data(), float_text.data() + float_text.size(), float_value);
        for (std::string_view integer : integers) {
            std::int64_t integer_value = 0;
            std::from_chars(integer.data(), integer.data() + integer.size(), integer_value);
            const bool equal = static_cast<double>(integer_value) == float_value;
            EXPECT_EQ(integer_matches_float_text(integer, float_text), equal)
                << integer << " and " << float_text;
        }
    }
}

}  // namespace
}  // namespace vantor::text
