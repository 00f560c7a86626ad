// Every reading error, checked as its full text: description, line and column together.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "oracle/value_reader.h"

namespace vantor::json {

using memory::Arena;
namespace {

struct ErrorCase {
    std::string input;
    std::string expected;
};

std::string read_error_of(std::string_view input) {
    Arena arena;
    ReadResult result = read_payload(input, arena);
    return result.ok() ? "<read without error>" : result.error;
}

std::string repeat(std::string_view piece, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

void expect_errors(const std::vector<ErrorCase>& cases) {
    for (const ErrorCase& c : cases) {
        EXPECT_EQ(read_error_of(c.input), c.expected) << "input: " << c.input;
    }
}

TEST(ReaderErrors, EndOfInput) {
    expect_errors({
        {"", "EOF while parsing a value at line 1 column 0"},
        {"  ", "EOF while parsing a value at line 1 column 2"},
        {"\n", "EOF while parsing a value at line 2 column 0"},
        {"[", "EOF while parsing a list at line 1 column 1"},
        {"[ \n ", "EOF while parsing a list at line 2 column 1"},
        {"[1", "EOF while parsing a list at line 1 column 2"},
        {"[1 ", "EOF while parsing a list at line 1 column 3"},
        {"[1,", "EOF while parsing a value at line 1 column 3"},
        {"[{", "EOF while parsing an object at line 1 column 2"},
        {"[{\"a\"", "EOF while parsing an object at line 1 column 5"},
        {"[{\"a\":", "EOF while parsing a value at line 1 column 6"},
        {"[{\"a\":1", "EOF while parsing an object at line 1 column 7"},
        {"[{\"a\":1,", "EOF while parsing a value at line 1 column 8"},
        {"[\"ab", "EOF while parsing a string at line 1 column 4"},
        {"[\"ab\\", "EOF while parsing a string at line 1 column 5"},
        {"[\"\\u12", "EOF while parsing a string at line 1 column 6"},
        {"[\"\\uD800", "EOF while parsing a string at line 1 column 8"},
        {"[\"\\uD800\\", "EOF while parsing a string at line 1 column 9"},
        {"[\"\\uD800\\uDC", "EOF while parsing a string at line 1 column 12"},
        {"[tru", "EOF while parsing a value at line 1 column 4"},
        {"[n", "EOF while parsing a value at line 1 column 2"},
        {"[-", "EOF while parsing a value at line 1 column 2"},
        {"[1.", "EOF while parsing a value at line 1 column 3"},
        {"[1e", "EOF while parsing a value at line 1 column 3"},
        {"[1E+", "EOF while parsing a value at line 1 column 4"},
        {"tru", "EOF while parsing a value at line 1 column 3"},
        {"\"abc", "EOF while parsing a string at line 1 column 4"},
    });
}

TEST(ReaderErrors, Structure) {
    expect_errors({
        {"[1,]", "trailing comma at line 1 column 4"},
        {"[1, \n ]", "trailing comma at line 2 column 2"},
        {"[1 2]", "expected `,` or `]` at line 1 column 4"},
        {"[1x]", "expected `,` or `]` at line 1 column 3"},
        {"[1.5.2]", "expected `,` or `]` at line 1 column 5"},
        {"[truex]", "expected `,` or `]` at line 1 column 6"},
        {"[] x", "trailing characters at line 1 column 4"},
        {"[]]", "trailing characters at line 1 column 3"},
        {"[]\n\n  [", "trailing characters at line 3 column 3"},
        {"[,", "expected value at line 1 column 2"},
        {"[]\xEF\xBB\xBF", "trailing characters at line 1 column 3"},
        {"[{\"a\":1,}]", "trailing comma at line 1 column 9"},
        {"[{\"a\" 1}]", "expected `:` at line 1 column 7"},
        {"[{1:2}]", "key must be a string at line 1 column 3"},
        {"[{\"a\":1,2:3}]", "key must be a string at line 1 column 9"},
        {"[{\"a\":1 \"b\":2}]", "expected `,` or `}` at line 1 column 9"},
        {"[{\"a\":1]", "expected `,` or `}` at line 1 column 8"},
        {"[{\"a\":}]", "expected value at line 1 column 7"},
        {"[\r x]", "expected value at line 1 column 4"},
        {"[\rx]", "expected value at line 1 column 3"},
        {"[\"\xC3\xA9\" x]", "expected `,` or `]` at line 1 column 7"},
        {"\xEF\xBB\xBF[]", "expected value at line 1 column 1"},
        {"[\f]", "expected value at line 1 column 2"},
        {"[\v1]", "expected value at line 1 column 2"},
        {"[+1]", "expected value at line 1 column 2"},
        {"[.5]", "expected value at line 1 column 2"},
        {"[NaN]", "expected value at line 1 column 2"},
        {"[Infinity]", "expected value at line 1 column 2"},
        {"[trUe]", "expected ident at line 1 column 4"},
        {"[nul1]", "expected ident at line 1 column 5"},
        {"[fals]", "expected ident at line 1 column 6"},
        {"]", "expected value at line 1 column 1"},
        {"x", "expected value at line 1 column 1"},
        {"\n  \xFF", "expected value at line 2 column 3"},
    });
}

TEST(ReaderErrors, Numbers) {
    expect_errors({
        {"[01]", "invalid number at line 1 column 3"},
        {"[-01]", "invalid number at line 1 column 4"},
        {"[00]", "invalid number at line 1 column 3"},
        {"[1.]", "invalid number at line 1 column 4"},
        {"[1.e5]", "invalid number at line 1 column 4"},
        {"[-]", "invalid number at line 1 column 3"},
        {"[-a]", "invalid number at line 1 column 3"},
        {"[- 1]", "invalid number at line 1 column 3"},
        {"[1e]", "invalid number at line 1 column 4"},
        {"[1e+]", "invalid number at line 1 column 5"},
        {"[1E-x]", "invalid number at line 1 column 5"},
        {"[1e400]", "number out of range at line 1 column 6"},
        {"[1.7976931348623158e308]", "number out of range at line 1 column 23"},
        {"[-1.7976931348623158e308]", "number out of range at line 1 column 24"},
        {"[1e99999999999]", "number out of range at line 1 column 13"},
        {"[1e2147483648]", "number out of range at line 1 column 13"},
        {"[0.1e+99999999999]", "number out of range at line 1 column 16"},
        {std::string("[") + std::string(310, '9') + "]",
         "number out of range at line 1 column 311"},
        {std::string("[1") + std::string(309, '0') + "]",
         "number out of range at line 1 column 311"},
        {std::string("[1") + std::string(400, '0') + ".5]",
         "number out of range at line 1 column 404"},
        {"[1e309]", "number out of range at line 1 column 6"},
        {"[10e308]", "number out of range at line 1 column 7"},
    });
}

TEST(ReaderErrors, Strings) {
    expect_errors({
        {"[\"\\uDC00\"]", "lone leading surrogate in hex escape at line 1 column 8"},
        {"[\"\\uD800\"]", "unexpected end of hex escape at line 1 column 9"},
        {"[\"\\uD800x\"]", "unexpected end of hex escape at line 1 column 9"},
        {"[\"\\uD800\\n\"]", "unexpected end of hex escape at line 1 column 10"},
        {"[\"\\uD800\\u0041\"]", "lone leading surrogate in hex escape at line 1 column 14"},
        {"[\"\\uDBFF\\uD800\"]", "lone leading surrogate in hex escape at line 1 column 14"},
        {"[\"\\uD800\\uDG00\"]", "invalid escape at line 1 column 14"},
        {"[\"\\x\"]", "invalid escape at line 1 column 4"},
        {"[\"\\U0041\"]", "invalid escape at line 1 column 4"},
        {"[\"\\u00G1\"]", "invalid escape at line 1 column 8"},
        {"[\"\\u\"]", "EOF while parsing a string at line 1 column 6"},
        {"[\"a\tb\"]",
         "control character (\\u0000-\\u001F) found while parsing a string at line 1 "
         "column 4"},
        {"[\"a\nb\"]",
         "control character (\\u0000-\\u001F) found while parsing a string at line 2 "
         "column 0"},
        {std::string("[\"\0\"]", 5),
         "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
        {"[\"\x1F\"]",
         "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
        {"[\"\x7F\"]", "<read without error>"},
        {"[\"\xFF\"]", "invalid unicode code point at line 1 column 4"},
        {"[\"abc\xC3\"]", "invalid unicode code point at line 1 column 7"},
        {"[\"\xC0\xAF\"]", "invalid unicode code point at line 1 column 5"},          // overlong
        {"[\"\xE0\x80\xAF\"]", "invalid unicode code point at line 1 column 6"},      // overlong
        {"[\"\xF0\x80\x80\xAF\"]", "invalid unicode code point at line 1 column 7"},  // overlong
        {"[\"\xED\xA0\x80\"]", "invalid unicode code point at line 1 column 6"},      // surrogate
        {"[\"\xF4\x90\x80\x80\"]", "invalid unicode code point at line 1 column 7"},  // > U+10FFFF
        {"[\"\xF5\x80\x80\x80\"]", "invalid unicode code point at line 1 column 7"},
        {"[\"\x80\"]", "invalid unicode code point at line 1 column 4"},
        {"[\"\xC3\\n\"]", "invalid unicode code point at line 1 column 6"},
        {"[\"\\u00e9\xA9\"]", "invalid unicode code point at line 1 column 10"},
        // A later error inside the string comes first: UTF-8 is judged at the closing quote.
        {"[\"\xFF\\x\"]", "invalid escape at line 1 column 5"},
        {"[\"\xFF\x01\"]",
         "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4"},
        {"[\"\xFF", "EOF while parsing a string at line 1 column 3"},
        {"[\"\xE2\x82", "EOF while parsing a string at line 1 column 4"},
        {"[\"ok\", \"\xFF\"] x", "invalid unicode code point at line 1 column 10"},
        {"[{\"\xFF\":1}]", "invalid unicode code point at line 1 column 5"},
        {"[{\"a\\q\":1}]", "invalid escape at line 1 column 6"},
    });
}

// Reference check of well-formed UTF-8, written as decode-then-judge: the code point must need
// exactly the sequence's length (no overlong form), and must be neither a surrogate nor above
// U+10FFFF.
bool reference_utf8_ok(const std::string& bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = lead < 0x80         ? 1
                             : lead >> 5 == 0x6  ? 2
                             : lead >> 4 == 0xE  ? 3
                             : lead >> 3 == 0x1E ? 4
                                                 : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        std::uint32_t code_point = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code_point = (code_point << 6) | (next & 0x3F);
        }
        const std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code_point < minimum[length]) return false;
        if (code_point >= 0xD800 && code_point <= 0xDFFF) return false;
        if (code_point > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

TEST(ReaderErrors, Utf8CheckAgreesWithReference) {
    const unsigned char alphabet[] = {'a',  0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                      0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF,
                                      0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xF8, 0xFE, 0xFF};
    std::uint64_t state = 88172645463325252u;
    int invalid = 0;
    int valid_non_ascii = 0;
    for (int round = 0; round < 200000; ++round) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::string bytes;
        for (std::uint64_t bits = state, n = 1 + state % 6; n > 0; --n, bits >>= 5) {
            bytes += static_cast<char>(alphabet[(bits >> 3) % sizeof alphabet]);
        }
        std::string payload = std::string("[\"") + bytes + "\"]";
        std::string expected =
            reference_utf8_ok(bytes)
                ? "<read without error>"
                : "invalid unicode code point at line 1 column " + std::to_string(bytes.size() + 3);
        if (expected != "<read without error>") {
            ++invalid;
        } else if (bytes.find_first_not_of("a\x7F") != std::string::npos) {
            ++valid_non_ascii;
        }
        ASSERT_EQ(read_error_of(payload), expected) << ::testing::PrintToString(bytes);
    }
    EXPECT_GT(invalid, 1000);
    EXPECT_GT(valid_non_ascii, 1000);
}

TEST(ReaderErrors, NestingBudget) {
    std::string deepest_ok = std::string(127, '[') + std::string(127, ']');
    EXPECT_EQ(read_error_of(deepest_ok), "<read without error>");
    expect_errors({
        {std::string(128, '['), "recursion limit exceeded at line 1 column 128"},
        {std::string(128, '[') + std::string(128, ']'),
         "recursion limit exceeded at line 1 column 128"},
        {std::string(500, '['), "recursion limit exceeded at line 1 column 128"},
        {std::string(127, '[') + "{", "recursion limit exceeded at line 1 column 128"},
        {std::string("[") + repeat("{\"a\":", 126),
         "EOF while parsing a value at line 1 column 631"},
        {std::string("[") + repeat("{\"a\":", 126) + "{",
         "recursion limit exceeded at line 1 column 632"},
        {std::string("[") + std::string(126, ' ') + std::string(127, '['),
         "recursion limit exceeded at line 1 column 254"},
    });
    // A row is at level 2, so a member holds arrays nested 125 deep (levels 3 to 127).
    std::string row_125 =
        std::string("[{\"a\":") + std::string(125, '[') + std::string(125, ']') + "}]";
    EXPECT_EQ(read_error_of(row_125), "<read without error>");
    std::string row_126 =
        std::string("[{\"a\":") + std::string(126, '[') + std::string(126, ']') + "}]";
    EXPECT_EQ(read_error_of(row_126), "recursion limit exceeded at line 1 column 132");
    // Closed containers return their unit: many siblings at the deepest level are fine.
    std::string wide = "[";
    for (int i = 0; i < 300; ++i) {
        wide.append(126, '[');
        wide.append(126, ']');
        wide += ',';
    }
    wide += "1]";
    EXPECT_EQ(read_error_of(wide), "<read without error>");
}

TEST(ReaderErrors, TopLevelType) {
    expect_errors({
        {"{}", "invalid type: map, expected a sequence at line 1 column 0"},
        {"  {", "invalid type: map, expected a sequence at line 1 column 2"},
        {"{\"a\":", "invalid type: map, expected a sequence at line 1 column 0"},
        {"{\"a\": ]]] \xFF", "invalid type: map, expected a sequence at line 1 column 0"},
        {"\n{", "invalid type: map, expected a sequence at line 2 column 0"},
        {"null", "invalid type: null, expected a sequence at line 1 column 4"},
        {"null x", "invalid type: null, expected a sequence at line 1 column 4"},
        {"5", "invalid type: integer `5`, expected a sequence at line 1 column 1"},
        {"-5", "invalid type: integer `-5`, expected a sequence at line 1 column 2"},
        {"18446744073709551615",
         "invalid type: integer `18446744073709551615`, expected a sequence at line 1 column 20"},
        {"-9223372036854775808",
         "invalid type: integer `-9223372036854775808`, expected a sequence at line 1 column 20"},
        {"true", "invalid type: boolean `true`, expected a sequence at line 1 column 4"},
        {"false ]", "invalid type: boolean `false`, expected a sequence at line 1 column 5"},
        {"1.5", "invalid type: floating point `1.5`, expected a sequence at line 1 column 3"},
        {"1e2", "invalid type: floating point `100.0`, expected a sequence at line 1 column 3"},
        {"-0", "invalid type: floating point `-0.0`, expected a sequence at line 1 column 2"},
        {"1e400", "number out of range at line 1 column 5"},
        {"01", "invalid number at line 1 column 2"},
        {"trUe", "expected ident at line 1 column 3"},
        {"\"a\nb\"",
         "control character (\\u0000-\\u001F) found while parsing a string at line 2 "
         "column 0"},
        {"\"a\\nb\"", "invalid type: string \"a\\nb\", expected a sequence at line 1 column 6"},
        {"\"\\ud800\"", "unexpected end of hex escape at line 1 column 8"},
        {"\"\xFF\"", "invalid unicode code point at line 1 column 3"},
    });
}

}  // namespace
}  // namespace vantor::json
