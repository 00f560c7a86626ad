// The float text: layout rules, the shortest digits checked against independent oracles (Python's
// repr through a fixture file, and std::to_chars on ten million random values).
#include "text/float_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "text/scalar_writer.h"

namespace vantor::text {
namespace {

std::string float_text(double value) {
    memory::ByteBuffer out;
    write_json_float(value, out);
    return std::string(out.view());
}

double from_bits(std::uint64_t bits) {
    return std::bit_cast<double>(bits);
}

TEST(FloatText, ExampleValues) {
    struct Case {
        double value;
        std::string_view expected;
    };
    const Case cases[] = {
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {1.0, "1.0"},
        {100.0, "100.0"},
        {1e15, "1000000000000000.0"},
        {9999999999999998.0, "9999999999999998.0"},
        {1e16, "1e+16"},
        {12.34, "12.34"},
        {-2.5, "-2.5"},
        {123456789012345.6, "123456789012345.6"},
        {1234567890123456.8, "1234567890123456.8"},
        {1152921504606846976.0, "1.152921504606847e+18"},
        {1e21, "1e+21"},
        {1e100, "1e+100"},
        {1.5e300, "1.5e+300"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {0.1, "0.1"},
        {0.001234, "0.001234"},
        {0.00001, "0.00001"},
        {0.0000099, "9.9e-6"},
        {0.000001, "1e-6"},
        {-0.0000001, "-1e-7"},
        {std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
        {std::numeric_limits<double>::denorm_min(), "5e-324"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(float_text(c.value), c.expected);
}

TEST(FloatText, LayoutAroundEachBranch) {
    struct Case {
        double value;
        std::string_view expected;
    };
    const Case cases[] = {
        // Positional with zeros before ".0", digits split by the point, and leading zeros.
        {1.5e15, "1500000000000000.0"},
        {1234567.0, "1234567.0"},
        {-1e15, "-1000000000000000.0"},
        {1.25, "1.25"},
        {999999999999999.9, "999999999999999.9"},
        {0.5, "0.5"},
        {0.000012345, "0.000012345"},
        {-0.00001, "-0.00001"},
        {0.000012345678901234567, "0.000012345678901234568"},
        {-0.000012345678901234567, "-0.000012345678901234568"},
        {0.30000000000000004, "0.30000000000000004"},
        {1.7976931348623157e-300, "1.7976931348623157e-300"},
        // Scientific: one digit without a point, exponents of one to three digits, signs kept.
        {2e16, "2e+16"},
        {1.2e17, "1.2e+17"},
        {9.999999999999999e-6, "9.999999999999999e-6"},
        {-1.5e-10, "-1.5e-10"},
        {1e-100, "1e-100"},
        {-1.2345678901234567e-123, "-1.2345678901234567e-123"},
        {4.9406564584124654e-324, "5e-324"},
        {1e-323, "1e-323"},
        {2.225073858507201e-308, "2.225073858507201e-308"},
        {9007199254740993.0, "9007199254740992.0"},
        {123456789012345680.0, "1.2345678901234568e+17"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(float_text(c.value), c.expected);
}

TEST(FloatText, NeverLongerThanTheScratchArea) {
    // The longest texts: a sign with 17 digits after "0.0000", or with 17 digits and "e-xxx".
    EXPECT_EQ(float_text(-0.000012345678901234567).size(), kFloatTextCapacity);
    EXPECT_EQ(float_text(-1.2345678901234567e-123).size(), kFloatTextCapacity);
}

// Python's repr text in the float text's layout: the same digits and exponent, laid out with
// the switch points 1e-5 and 1e16 and an unpadded, always signed exponent.
std::string repr_to_float_text(std::string_view repr) {
    std::string out;
    if (!repr.empty() && repr.front() == '-') {
        out += '-';
        repr.remove_prefix(1);
    }
    int exponent = 0;
    if (auto e = repr.find('e'); e != std::string_view::npos) {
        std::string_view exponent_text = repr.substr(e + 1);
        if (!exponent_text.empty() && exponent_text.front() == '+') exponent_text.remove_prefix(1);
        std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(),
                        exponent);
        repr = repr.substr(0, e);
    }
    std::string digits;
    int integer_digits = static_cast<int>(repr.size());
    for (std::size_t i = 0; i < repr.size(); ++i) {
        if (repr[i] == '.') {
            integer_digits = static_cast<int>(i);
        } else {
            digits += repr[i];
        }
    }
    // The exponent of the first significant digit.
    std::size_t leading = digits.find_first_not_of('0');
    if (leading == std::string::npos) return out.append("0.0");
    int point = integer_digits - 1 + exponent - static_cast<int>(leading);
    digits = digits.substr(leading);
    digits.erase(digits.find_last_not_of('0') + 1);
    int n = static_cast<int>(digits.size());
    if (point >= -5 && point <= 15) {
        if (point < 0) {
            out.append("0.").append(static_cast<std::size_t>(-point - 1), '0').append(digits);
        } else if (n <= point + 1) {
            out.append(digits).append(static_cast<std::size_t>(point + 1 - n), '0').append(".0");
        } else {
            out.append(digits, 0, static_cast<std::size_t>(point + 1)).append(".");
            out.append(digits, static_cast<std::size_t>(point + 1));
        }
        return out;
    }
    out.append(digits, 0, 1);
    if (n > 1) out.append(".").append(digits, 1);
    out.append(point < 0 ? "e-" : "e+").append(std::to_string(std::abs(point)));
    return out;
}

TEST(FloatText, ReprConversionOfTheOracle) {
    // The oracle's own layout conversion, on repr texts of every shape.
    EXPECT_EQ(repr_to_float_text("1e-05"), "0.00001");
    EXPECT_EQ(repr_to_float_text("9.9e-06"), "9.9e-6");
    EXPECT_EQ(repr_to_float_text("0.0001"), "0.0001");
    EXPECT_EQ(repr_to_float_text("1e+16"), "1e+16");
    EXPECT_EQ(repr_to_float_text("-1.5e+300"), "-1.5e+300");
    EXPECT_EQ(repr_to_float_text("100.0"), "100.0");
    EXPECT_EQ(repr_to_float_text("-0.0"), "-0.0");
    EXPECT_EQ(repr_to_float_text("12.34"), "12.34");
    EXPECT_EQ(repr_to_float_text("5e-324"), "5e-324");
}

TEST(FloatDigits, ExponentEstimatesAreExact) {
    // Against long double logarithms, which are far from an integer everywhere but at e = 0.
    for (int e = -1100; e <= 1100; ++e) {
        long double log10_2 = std::log10(2.0L);
        auto expected_pow2 = static_cast<int>(std::floor(e * log10_2));
        auto expected_three_quarters =
            static_cast<int>(std::floor(e * log10_2 + std::log10(0.75L)));
        EXPECT_EQ(detail::floor_log10_pow2(e), expected_pow2) << e;
        EXPECT_EQ(detail::floor_log10_three_quarters_pow2(e), expected_three_quarters) << e;
    }
    for (int e = -400; e <= 400; ++e) {
        EXPECT_EQ(detail::floor_log2_pow10(e), static_cast<int>(std::floor(e * std::log2(10.0L))))
            << e;
    }
}

// The decimal a float text or a scientific text of std::to_chars stands for: its digits with the
// point dropped, scaled by the exponent after "e" (none in positional text), trailing zeros
// removed.
DecimalFloat decimal_of(std::string_view text) {
    DecimalFloat decimal{0, 0};
    int fraction_digits = 0;
    bool after_point = false;
    std::size_t i = 0;
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] == '.') {
            after_point = true;
        } else {
            decimal.significand = decimal.significand * 10 + static_cast<unsigned>(text[i] - '0');
            fraction_digits += after_point ? 1 : 0;
        }
    }
    int exponent = 0;
    if (i < text.size()) {
        std::from_chars(text.data() + i + (text[i + 1] == '+' ? 2 : 1), text.data() + text.size(),
                        exponent);
    }
    decimal.exponent = exponent - fraction_digits;
    while (decimal.significand != 0 && decimal.significand % 10 == 0) {
        decimal.significand /= 10;
        ++decimal.exponent;
    }
    return decimal;
}

// The shortest digits by std::to_chars, which also picks the nearest of several shortest.
DecimalFloat to_chars_decimal(double magnitude) {
    char text[32];
    auto end =
        std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific).ptr;
    return decimal_of({text, static_cast<std::size_t>(end - text)});
}

// The digits the float text shows.
DecimalFloat float_text_decimal(double magnitude) {
    char text[kFloatTextScratchSize];
    return decimal_of({text, format_float_text(magnitude, text)});
}

// Checks one positive finite value; reports at most a few mismatches in full.
bool digits_agree_with_to_chars(double magnitude, std::size_t& reported) {
    DecimalFloat expected = to_chars_decimal(magnitude);
    DecimalFloat actual = float_text_decimal(magnitude);
    if (expected.significand == actual.significand && expected.exponent == actual.exponent) {
        return true;
    }
    if (++reported <= 10) {
        ADD_FAILURE() << "bits " << std::hex << std::bit_cast<std::uint64_t>(magnitude) << std::dec
                      << ": " << actual.significand << "e" << actual.exponent << ", to_chars gives "
                      << expected.significand << "e" << expected.exponent;
    }
    return false;
}

TEST(FloatDigits, AgreeWithToCharsOnTenMillionRandomValues) {
    std::mt19937_64 rng(42);
    std::size_t reported = 0;
    std::size_t checked = 0;
    while (checked < 10'000'000) {
        std::uint64_t bits = rng() & ~(std::uint64_t{1} << 63);
        if ((bits >> 52) == 0x7ff || bits == 0) continue;
        digits_agree_with_to_chars(from_bits(bits), reported);
        ++checked;
    }
    EXPECT_EQ(reported, 0u);
}

TEST(FloatDigits, AgreeWithToCharsOnEdgeFamilies) {
    std::size_t reported = 0;
    // The smallest subnormals, and every power of two with its neighbours (where the interval
    // below is narrower).
    for (std::uint64_t bits = 1; bits <= 100'000; ++bits) {
        digits_agree_with_to_chars(from_bits(bits), reported);
    }
    for (std::uint64_t exponent = 0; exponent < 0x7ff; ++exponent) {
        for (std::uint64_t fraction :
             {0ull, 1ull, 2ull, 3ull, (1ull << 52) - 1, (1ull << 52) - 2}) {
            std::uint64_t bits = exponent << 52 | fraction;
            if (bits != 0) digits_agree_with_to_chars(from_bits(bits), reported);
        }
    }
    // Short decimals, whose shortest digits come from the candidate with a digit fewer, and the
    // integers around 2^53.
    std::mt19937_64 rng(7);
    for (int i = 0; i < 1'000'000; ++i) {
        std::uint64_t digits = rng() % 100'000 + 1;
        auto exponent = static_cast<int>(rng() % 640) - 330;
        char text[40];
        std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(digits),
                      exponent);
        double value = std::strtod(text, nullptr);
        if (value != 0 && std::isfinite(value)) digits_agree_with_to_chars(value, reported);
    }
    for (std::uint64_t n = (1ull << 53) - 1000; n <= (1ull << 53) + 1000; ++n) {
        digits_agree_with_to_chars(static_cast<double>(n), reported);
    }
    EXPECT_EQ(reported, 0u);
}

#ifdef VANTOR_FLOAT_FIXTURE
// The fixture is written by tools/gen_float_fixture.py when the tests run under ctest; a run
// without it fails rather than skipping the check. VANTOR_FLOAT_FIXTURE in the environment names
// another file.
TEST(FloatOracle, MatchesPythonReprOnFixture) {
    const char* override_path = std::getenv("VANTOR_FLOAT_FIXTURE");
    std::string path = override_path != nullptr ? override_path : VANTOR_FLOAT_FIXTURE;
    std::ifstream in(path);
    ASSERT_TRUE(in) << "missing float fixture " << path
                    << " (ctest writes it; or run tools/gen_float_fixture.py " << path << ")";
    std::string line;
    std::size_t checked = 0;
    std::size_t failures = 0;
    bool complete = false;
    while (std::getline(in, line)) {
        if (line.starts_with("#")) {
            complete = line == "# end";
            continue;
        }
        auto space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << line;
        std::uint64_t bits = 0;
        std::from_chars(line.data(), line.data() + space, bits, 16);
        std::string expected = repr_to_float_text(std::string_view(line).substr(space + 1));
        std::string actual = float_text(from_bits(bits));
        if (actual != expected && ++failures <= 20) {
            ADD_FAILURE() << "bits " << line.substr(0, space) << ": wrote " << actual
                          << ", repr gives " << expected;
        }
        ++checked;
    }
    EXPECT_TRUE(complete) << "float fixture " << path << " is incomplete";
    EXPECT_GE(checked, std::size_t{1'000'000});
    EXPECT_EQ(failures, 0u);
}
#endif

}  // namespace
}  // namespace vantor::text
