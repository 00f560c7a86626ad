// What successful reads yield: number classes and exact binary64 results, string bytes, duplicate
// keys, nesting and whitespace.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "oracle/value_reader.h"
#include "text/number_reader.h"

namespace vantor::json {

using memory::Arena;
using text::JsonNumber;
namespace {

// The rows of `input`, which must read without error.
std::span<const JsonValue> read_ok(std::string_view input, Arena& arena) {
    ReadResult result = read_payload(input, arena);
    EXPECT_TRUE(result.ok()) << "input: " << input << "\nerror: " << result.error;
    return result.rows;
}

// The single number of "[<token>]".
JsonNumber read_one_number(const std::string& token) {
    Arena arena;
    auto rows = read_ok(std::string("[") + token + "]", arena);
    if (rows.size() != 1 || rows[0].kind() != JsonKind::number) {
        ADD_FAILURE() << "not one number: " << token;
        return JsonNumber::from_unsigned(0);
    }
    return rows[0].as_number();
}

std::string hex_of(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", value);
    return text;
}

struct FloatCase {
    std::string token;
    std::string expected_hex;  // printf's %a of the exact binary64
};

TEST(ReaderValues, FloatsFollowTheExactMethod) {
    const FloatCase cases[] = {
        // Not correctly rounded: one unit in the last place below the nearest (0x1.5c87fbp-84).
        {"7.038531e-26", "0x1.5c87fafffffffp-84"},
        {"1.7976931348623156e308", "0x1.fffffffffffffp+1023"},
        {"1e-400", "0x0p+0"},
        {"0e999999999999", "0x0p+0"},
        {"1e-99999999999", "0x0p+0"},
        {"-1e-99999999999", "-0x0p+0"},
        {"0.0", "0x0p+0"},
        {"-0.0", "-0x0p+0"},
        {"-0", "-0x0p+0"},
        {"1.0", "0x1p+0"},
        {"1e0", "0x1p+0"},
        {"1E+2", "0x1.9p+6"},
        {"0.5", "0x1p-1"},
        {"-2.5e-3", "-0x1.47ae147ae147bp-9"},
        {"18446744073709551616", "0x1p+64"},
        {"-9223372036854775809", "-0x1p+63"},
        {"-18446744073709551615", "-0x1p+64"},
        {"5e-324", "0x0.0000000000001p-1022"},
        {"2.2250738585072014e-308", "0x1p-1022"},
        // The significand keeps 20 digits; the dropped ones only move the exponent.
        {"123456789012345678901234567890", "0x1.8ee90ff6c373ep+96"},
        // Once a digit is dropped, later fraction digits are dropped as well; appending the 4
        // would give ...af6p+140.
        {"1844674407370955161823568516529104856455458.4", "0x1.52d02c7e14af7p+140"},
        // Exponent digits beyond 32 bits with a zero significand read as zero.
        {"0e99999999999", "0x0p+0"},
        {"0.000e+99999999999999", "0x0p+0"},
        // A long run of fraction zeros keeps lowering the exponent.
        {std::string("0.") + std::string(400, '0') + "1e400", "0x1.999999999999ap-4"},
        {std::string("1") + std::string(308, '0'), "0x1.1ccf385ebc8ap+1023"},
    };
    for (const FloatCase& c : cases) {
        JsonNumber number = read_one_number(c.token);
        ASSERT_EQ(number.variant(), JsonNumber::Variant::float64) << c.token;
        EXPECT_EQ(hex_of(number.float_value()), c.expected_hex) << c.token;
    }
}

TEST(ReaderValues, NumberClasses) {
    Arena arena;
    auto rows = read_ok(
        "[18446744073709551615, 18446744073709551616, -9223372036854775808, "
        "-9223372036854775809, -0, 1.0, 0, 42, -1, 9223372036854775808]",
        arena);
    ASSERT_EQ(rows.size(), 10u);
    auto number = [&](std::size_t i) { return rows[i].as_number(); };
    EXPECT_EQ(number(0), JsonNumber::from_unsigned(18446744073709551615u));
    EXPECT_EQ(number(1), JsonNumber::from_float(18446744073709551616.0));
    EXPECT_EQ(number(2), JsonNumber::from_signed(INT64_MIN));
    EXPECT_EQ(number(3), JsonNumber::from_float(-9223372036854775808.0));
    ASSERT_EQ(number(4).variant(), JsonNumber::Variant::float64);
    EXPECT_TRUE(std::signbit(number(4).float_value()));
    EXPECT_EQ(number(5), JsonNumber::from_float(1.0));
    EXPECT_EQ(number(6), JsonNumber::from_unsigned(0));
    EXPECT_EQ(number(7), JsonNumber::from_unsigned(42));
    EXPECT_EQ(number(8), JsonNumber::from_signed(-1));
    EXPECT_EQ(number(9), JsonNumber::from_unsigned(9223372036854775808u));
}

// The method against its definition on random significands and exponents within the table: one
// product or quotient by the nearest binary64 power of ten, here taken from the C library's
// correctly rounded strtod of the decimal power (an oracle independent of the generated table).
TEST(ReaderValues, ConversionMatchesSingleOperation) {
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t significand = next() >> (next() % 64);
        int exponent = static_cast<int>(next() % 617) - 308;
        std::string power = "1";
        for (int k = 0; k < (exponent < 0 ? -exponent : exponent); ++k)
            power += '0';
        double p = std::strtod(power.c_str(), nullptr);  // correctly rounded 10^|e|: the table
        double expected = exponent >= 0 ? static_cast<double>(significand) * p
                                        : static_cast<double>(significand) / p;
        double actual = 0;
        bool ok = text::decimal_to_binary64(significand, exponent, actual);
        if (std::isinf(expected)) {
            EXPECT_FALSE(ok) << significand << "e" << exponent;
            continue;
        }
        ASSERT_TRUE(ok) << significand << "e" << exponent;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(actual), std::bit_cast<std::uint64_t>(expected))
            << significand << "e" << exponent;
    }
}

TEST(ReaderValues, Strings) {
    struct StringCase {
        std::string input;
        std::string expected;
    };
    const StringCase cases[] = {
        {R"(["\uD83D\uDE00"])", "\xF0\x9F\x98\x80"},
        {R"(["\u00e9"])", "\xC3\xA9"},
        {R"(["\u00E9"])", "\xC3\xA9"},
        {R"(["\u0000"])", std::string(1, '\0')},
        {R"(["\"\\\/\b\f\n\r\t"])", "\"\\/\b\f\n\r\t"},
        {R"(["a\u0041b\u20ACc"])",
         "aAb\xE2\x82\xAC"
         "c"},
        {R"(["\uDBFF\uDFFF"])", "\xF4\x8F\xBF\xBF"},
        {R"(["\uFFFF"])", "\xEF\xBF\xBF"},
        {"[\"\x7F\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 plain\"]",
         "\x7F\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 plain"},
        {std::string("[\"") + std::string(100, 'x') + std::string("\\n") + std::string(100, 'y') +
             "\"]",
         std::string(100, 'x') + std::string("\n") + std::string(100, 'y')},
        {R"([""])", ""},
    };
    for (const StringCase& c : cases) {
        Arena arena;
        auto rows = read_ok(c.input, arena);
        ASSERT_EQ(rows.size(), 1u) << c.input;
        ASSERT_EQ(rows[0].kind(), JsonKind::string) << c.input;
        EXPECT_EQ(rows[0].as_string(), c.expected) << c.input;
    }
}

TEST(ReaderValues, StringWithoutEscapesPointsIntoInput) {
    std::string input = R"(["plain", "esc\n"])";
    Arena arena;
    auto rows = read_ok(input, arena);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].as_string().data(), input.data() + 2);
    EXPECT_EQ(rows[1].as_string(), "esc\n");
    // The escaped string is owned by the arena, not by the scratch buffer of a later string.
    EXPECT_FALSE(rows[1].as_string().data() >= input.data() &&
                 rows[1].as_string().data() < input.data() + input.size());
}

TEST(ReaderValues, DuplicateKeysKeepFirstPositionAndLastValue) {
    Arena arena;
    auto rows = read_ok(R"([{"a":1,"b":2,"a":3}])", arena);
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_TRUE(rows[0].is_object());
    const JsonObject& object = rows[0].as_object();
    ASSERT_EQ(object.size(), 2u);
    EXPECT_EQ(object.members()[0].name, "a");
    EXPECT_EQ(object.members()[0].value.as_number(), JsonNumber::from_unsigned(3));
    EXPECT_EQ(object.members()[1].name, "b");
    EXPECT_EQ(object.members()[1].value.as_number(), JsonNumber::from_unsigned(2));

    // Past the size where objects keep a name index, and with escaped names equal to plain ones.
    std::string text = "[{";
    for (int i = 0; i < 20; ++i)
        text +=
            std::string("\"k") + std::to_string(i) + std::string("\":") + std::to_string(i) + ",";
    text += R"("k\u0035":"five","k19":null}])";
    Arena big_arena;
    auto big = read_ok(text, big_arena);
    const JsonObject& members = big[0].as_object();
    ASSERT_EQ(members.size(), 20u);
    EXPECT_EQ(members.members()[5].name, "k5");
    EXPECT_EQ(members.members()[5].value.as_string(), "five");
    EXPECT_TRUE(members.members()[19].value.is_null());
    ASSERT_NE(members.find("k7"), nullptr);
    EXPECT_EQ(members.find("k7")->as_number(), JsonNumber::from_unsigned(7));
}

TEST(ReaderValues, NestingAndWhitespace) {
    Arena arena;
    EXPECT_TRUE(read_ok("[]", arena).empty());
    EXPECT_TRUE(read_ok(" [ ]\r\n\t", arena).empty());
    auto rows = read_ok("\t[ {\"a\" : [ true , false , null ] , \"b\":{}} ,\n[[]] ]\n", arena);
    ASSERT_EQ(rows.size(), 2u);
    const JsonValue* a = rows[0].as_object().find("a");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->as_array().size(), 3u);
    EXPECT_EQ(a->as_array()[0], JsonValue::boolean(true));
    EXPECT_EQ(a->as_array()[1], JsonValue::boolean(false));
    EXPECT_TRUE(a->as_array()[2].is_null());
    EXPECT_EQ(rows[0].as_object().find("b")->as_object().size(), 0u);
    ASSERT_EQ(rows[1].as_array().size(), 1u);
    EXPECT_TRUE(rows[1].as_array()[0].as_array().empty());

    std::string deep = std::string(127, '[') + std::string("7") + std::string(127, ']');
    const JsonValue* level = nullptr;
    auto top = read_ok(deep, arena);
    ASSERT_EQ(top.size(), 1u);
    level = &top[0];
    for (int depth = 2; depth < 127; ++depth) {
        ASSERT_EQ(level->kind(), JsonKind::array);
        ASSERT_EQ(level->as_array().size(), 1u);
        level = &level->as_array()[0];
    }
    ASSERT_EQ(level->as_array().size(), 1u);
    EXPECT_EQ(level->as_array()[0].as_number(), JsonNumber::from_unsigned(7));
}

// Each value read is the one its text denotes, checked against values built by hand: a fault
// in any kind, number variant, escape or nesting level makes the model's equality fail.
TEST(ReaderValues, RowsEqualTheValuesTheirTextDenotes) {
    std::string input = R"([{"id":1,"name":"n\u00e9","tags":["x","y"],"score":-1.25e-3,"ok":true},)"
                        R"({"id":18446744073709551615,"name":null,"nested":{"k":[-7,{"z":0}]}}])";
    Arena arena;
    auto rows = read_ok(input, arena);
    ASSERT_EQ(rows.size(), 2u);
    const JsonValue tags[] = {JsonValue::string("x"), JsonValue::string("y")};
    const JsonMember first[] = {{"id", JsonValue::number(JsonNumber::from_unsigned(1))},
                                {"name", JsonValue::string("n\xc3\xa9")},
                                {"tags", JsonValue::array(tags)},
                                {"score", JsonValue::number(JsonNumber::from_float(-1.25e-3))},
                                {"ok", JsonValue::boolean(true)}};
    const JsonMember inner[] = {{"z", JsonValue::number(JsonNumber::from_unsigned(0))}};
    const JsonValue list[] = {JsonValue::number(JsonNumber::from_signed(-7)),
                              JsonValue::object(JsonObject::from_members(arena, inner))};
    const JsonMember nested[] = {{"k", JsonValue::array(list)}};
    const JsonMember second[] = {
        {"id", JsonValue::number(JsonNumber::from_unsigned(18446744073709551615u))},
        {"name", JsonValue::null()},
        {"nested", JsonValue::object(JsonObject::from_members(arena, nested))}};
    EXPECT_EQ(rows[0], JsonValue::object(JsonObject::from_members(arena, first)));
    EXPECT_EQ(rows[1], JsonValue::object(JsonObject::from_members(arena, second)));
    // And one difference anywhere is seen: the nested integer read as unsigned would not match.
    const JsonValue other_list[] = {JsonValue::number(JsonNumber::from_unsigned(7)), list[1]};
    const JsonMember other_nested[] = {{"k", JsonValue::array(other_list)}};
    const JsonMember other_second[] = {
        second[0],
        second[1],
        {"nested", JsonValue::object(JsonObject::from_members(arena, other_nested))}};
    EXPECT_NE(rows[1], JsonValue::object(JsonObject::from_members(arena, other_second)));
}

}  // namespace
}  // namespace vantor::json
