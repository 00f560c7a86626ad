// The writer's exact text: compact layout, string escapes, integers, floats inside values, and
// objects in insertion order.
#include "oracle/writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "memory/arena.h"
#include "oracle/string_text.h"
#include "oracle/value.h"
#include "text/scalar_writer.h"

namespace vantor::json {

using memory::Arena;
using memory::ByteBuffer;
using text::JsonNumber;
namespace {

// Builds values whose storage lives in one arena.
class Builder {
  public:
    JsonValue array(std::initializer_list<JsonValue> items) {
        auto* storage = arena_.allocate_array<JsonValue>(items.size());
        std::size_t i = 0;
        for (const JsonValue& item : items)
            new (&storage[i++]) JsonValue(item);
        return JsonValue::array({storage, items.size()});
    }
    JsonValue object(std::initializer_list<JsonMember> members) {
        return JsonValue::object(
            JsonObject::from_members(arena_, std::span(members.begin(), members.size())));
    }
    static JsonValue u(std::uint64_t v) { return JsonValue::number(JsonNumber::from_unsigned(v)); }
    static JsonValue i(std::int64_t v) { return JsonValue::number(JsonNumber::from_signed(v)); }
    static JsonValue f(double v) { return JsonValue::number(JsonNumber::from_float(v)); }
    static JsonValue s(std::string_view v) { return JsonValue::string(v); }

  private:
    Arena arena_;
};

std::string text_of(const JsonValue& value) {
    ByteBuffer out;
    write_json(value, out);
    return std::string(out.view());
}

// The product's string literal, which the tape writer writes, and the reference's, which must
// be the same: a difference shows both.
std::string string_literal(std::string_view text) {
    std::string product(6 * text.size() + 10, '\0');
    product.resize(static_cast<std::size_t>(
        text::write_json_string_unchecked(text, product.data()) - product.data()));
    ByteBuffer reference;
    oracle::write_quoted(text, reference);
    if (product != reference.view()) {
        return "product " + product + " against reference " + std::string(reference.view());
    }
    return product;
}

TEST(WriteJsonString, EscapesExactlyTheRequiredBytes) {
    struct Case {
        std::string_view input;
        std::string_view expected;
    };
    using namespace std::string_view_literals;
    const Case cases[] = {
        {""sv, R"("")"sv},
        {"plain text"sv, R"("plain text")"sv},
        {"quote\" backslash\\"sv, R"("quote\" backslash\\")"sv},
        {"\b\t\n\f\r"sv, R"("\b\t\n\f\r")"sv},
        {"\x00"sv, R"("\u0000")"sv},
        {"\x01\x0b\x1b\x1f"sv, R"("\u0001\u000b\u001b\u001f")"sv},
        {"\x0e\x10\x1a"sv, R"("\u000e\u0010\u001a")"sv},
        // The slash, DEL and every byte from 0x80 up stay raw.
        {"a/b\x7f"sv, "\"a/b\x7f\""sv},
        {"Zo\xc3\xab \xf0\x9f\x98\x80 \xe2\x82\xac"sv,
         "\"Zo\xc3\xab \xf0\x9f\x98\x80 \xe2\x82\xac\""sv},
        {"\x80\xff"sv, "\"\x80\xff\""sv},
        {"\" \\ \t \x01 \x1b \x7f \xc3\xab"sv, R"("\" \\ \t \u0001 \u001b )"
                                               "\x7f \xc3\xab\""sv},
        // Escapes at the ends and back to back, around runs of every length the scanner steps by.
        {"\"abc\"abcd\"abcde\"\"\n"sv, R"("\"abc\"abcd\"abcde\"\"\n")"sv},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(string_literal(c.input), c.expected) << "input of " << c.input.size() << " bytes";
    }
}

// The escaped form of one byte, spelled out byte by byte from the table of escapes.
std::string expected_escape(int byte) {
    switch (byte) {
        case '"':
            return "\\\"";
        case '\\':
            return "\\\\";
        case '\b':
            return "\\b";
        case '\t':
            return "\\t";
        case '\n':
            return "\\n";
        case '\f':
            return "\\f";
        case '\r':
            return "\\r";
        default:
            if (byte < 0x20) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\u%04x", byte);
                return hex;
            }
            return std::string(1, static_cast<char>(byte));
    }
}

TEST(WriteJsonString, EveryByteValue) {
    for (int byte = 0; byte < 256; ++byte) {
        char c = static_cast<char>(byte);
        std::string expected = expected_escape(byte);
        expected.insert(expected.begin(), '"');
        expected.push_back('"');
        EXPECT_EQ(string_literal(std::string_view(&c, 1)), expected) << byte;
    }
}

TEST(WriteJsonString, LongTextsWithEscapesAnywhere) {
    // Lengths and escape positions around the 4096-byte pieces the text is escaped in, and texts
    // that are all escapes (the longest output per input byte).
    struct Case {
        std::size_t length;
        std::vector<std::size_t> escape_positions;
        char escape;
    };
    const Case cases[] = {
        {4095, {4094}, '\x01'},          {4096, {4095}, '"'}, {4097, {4095, 4096}, '\n'},
        {8193, {0, 4096, 8192}, '\x1f'}, {10000, {}, 0},      {5000, {4000}, '\\'},
    };
    for (const Case& c : cases) {
        std::string text(c.length, 'a');
        for (std::size_t position : c.escape_positions)
            text[position] = c.escape;
        std::string expected = "\"";
        for (char byte : text)
            expected += expected_escape(static_cast<unsigned char>(byte));
        expected += '"';
        EXPECT_EQ(string_literal(text), expected) << c.length;
    }
    for (int byte : {0x01, 0x0a}) {
        std::string text(9000, static_cast<char>(byte));
        std::string expected = "\"";
        for (std::size_t i = 0; i < text.size(); ++i)
            expected += expected_escape(byte);
        expected += '"';
        EXPECT_EQ(string_literal(text), expected) << byte;
    }
}

TEST(WriteJsonString, LongTextAppendsToExistingContent) {
    std::string text(1000, 'x');
    text[500] = '\n';
    ByteBuffer out;
    out.append("prefix: ");
    oracle::write_quoted(text, out);
    std::string expected = "prefix: \"";
    expected.append(500, 'x').append("\\n").append(499, 'x').push_back('"');
    EXPECT_EQ(out.view(), expected);
}

TEST(WriteJsonIntegers, DecimalDigitsAndSign) {
    struct UnsignedCase {
        std::uint64_t value;
        std::string_view expected;
    };
    const UnsignedCase unsigned_cases[] = {
        {0, "0"},
        {7, "7"},
        {10, "10"},
        {99, "99"},
        {100, "100"},
        {101, "101"},
        {1000, "1000"},
        {12345, "12345"},
        {9999999999, "9999999999"},
        {10000000000000000000u, "10000000000000000000"},
        {18446744073709551615u, "18446744073709551615"},
    };
    for (const auto& c : unsigned_cases) {
        ByteBuffer out;
        text::write_json_unsigned(c.value, out);
        EXPECT_EQ(out.view(), c.expected);
    }
    struct SignedCase {
        std::int64_t value;
        std::string_view expected;
    };
    const SignedCase signed_cases[] = {
        {0, "0"},
        {1, "1"},
        {-1, "-1"},
        {-10, "-10"},
        {-123, "-123"},
        {9223372036854775807, "9223372036854775807"},
        {-9223372036854775807, "-9223372036854775807"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
    };
    for (const auto& c : signed_cases) {
        ByteBuffer out;
        text::write_json_signed(c.value, out);
        EXPECT_EQ(out.view(), c.expected);
    }
}

TEST(WriteJsonIntegers, AgreeWithToStringAcrossDigitCounts) {
    // Every power of ten and its neighbours, in both variants.
    std::uint64_t power = 1;
    for (int digits = 1; digits <= 20; ++digits) {
        for (std::uint64_t v : {power - 1, power, power + 1, power * 9 / 10 * 10 + 9}) {
            ByteBuffer out;
            text::write_json_unsigned(v, out);
            EXPECT_EQ(out.view(), std::to_string(v));
            auto s = static_cast<std::int64_t>(v);
            ByteBuffer signed_out;
            text::write_json_signed(-s, signed_out);
            EXPECT_EQ(signed_out.view(), std::to_string(-s));
        }
        if (digits < 20) power *= 10;
    }
}

TEST(WriteJson, ValuesInCompactForm) {
    Builder b;
    struct Case {
        JsonValue value;
        std::string_view expected;
    };
    const Case cases[] = {
        {JsonValue::null(), "null"},
        {JsonValue::boolean(true), "true"},
        {JsonValue::boolean(false), "false"},
        {Builder::u(100), "100"},
        {Builder::i(-0), "0"},
        {Builder::f(100.0), "100.0"},
        {Builder::f(-0.0), "-0.0"},
        {Builder::f(1.5), "1.5"},
        {Builder::f(std::numeric_limits<double>::infinity()), "null"},
        {Builder::f(-std::numeric_limits<double>::infinity()), "null"},
        {Builder::f(std::numeric_limits<double>::quiet_NaN()), "null"},
        {Builder::s("x\ty"), R"("x\ty")"},
        {b.array({}), "[]"},
        {b.object({}), "{}"},
        {b.array({b.array({}), b.object({})}), "[[],{}]"},
        {b.array({Builder::u(1), Builder::f(2.5), Builder::s("x\ty")}), R"([1,2.5,"x\ty"])"},
        {b.object({{"b", Builder::u(1)}, {"a", Builder::u(2)}}), R"({"b":1,"a":2})"},
        {b.object({{"na\"me", JsonValue::null()}}), R"({"na\"me":null})"},
        {b.object({{"columns", b.array({Builder::s("b"), Builder::s("c")})},
                   {"rows", b.array({b.array({Builder::u(2), JsonValue::null()}),
                                     b.array({JsonValue::null(), Builder::u(3)})})},
                   {"constants", b.object({{"a", Builder::u(1)}})}}),
         R"({"columns":["b","c"],"rows":[[2,null],[null,3]],"constants":{"a":1}})"},
        {b.object({{"columns", b.array({Builder::s("name"), Builder::s("v")})},
                   {"rows", b.array({b.array({Builder::s("Zo\xc3\xab \"Z\""), Builder::f(1.5)}),
                                     b.array({Builder::s("Al/Bo"), Builder::f(-0.0)})})},
                   {"constants", b.object({{"w", Builder::f(100.0)}})}}),
         "{\"columns\":[\"name\",\"v\"],\"rows\":[[\"Zo\xc3\xab \\\"Z\\\"\",1.5],[\"Al/Bo\",-0.0]],"
         "\"constants\":{\"w\":100.0}}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text_of(c.value), c.expected);
}

TEST(WriteJson, ObjectsKeepInsertionOrderWhenAMemberIsReplaced) {
    // Members in reverse alphabetical order, then the second name given again with a new value:
    // the text keeps the first occurrences' order and shows the new value in the old place. Small
    // and large objects both, however the object finds its members.
    for (std::size_t size : {2u, 12u, 200u}) {
        Arena arena;
        std::vector<std::string> names;
        for (std::size_t n = 0; n < size; ++n) {
            std::string number = std::to_string(size - 1 - n);
            names.push_back("k" + std::string(3 - number.size(), '0') + number);
        }
        std::vector<JsonMember> members;
        std::string expected = "{";
        for (std::size_t n = 0; n < size; ++n) {
            members.push_back({names[n], Builder::u(n)});
            if (n != 0) expected += ",";
            expected.append("\"").append(names[n]).append("\":");
            expected.append(n == 1 ? std::string("\"new\"") : std::to_string(n));
        }
        expected += "}";
        members.push_back({names[1], Builder::s("new")});
        EXPECT_EQ(text_of(JsonValue::object(JsonObject::from_members(arena, members))), expected)
            << size << " members";
    }
}

TEST(WriteJson, DeepNestingIsWrittenWhole) {
    Arena arena;
    JsonValue value = Builder::u(7);
    for (int depth = 0; depth < 200; ++depth) {
        auto* item = arena.allocate_array<JsonValue>(1);
        new (item) JsonValue(value);
        value = JsonValue::array({item, 1});
    }
    EXPECT_EQ(text_of(value), std::string(200, '[') + "7" + std::string(200, ']'));
}

}  // namespace
}  // namespace vantor::json
