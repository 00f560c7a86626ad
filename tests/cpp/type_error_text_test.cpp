// The type error's text for every kind of top-level value, and the quoted form of strings with
// the Unicode 17.0 character classes.
#include <gtest/gtest.h>

#include <string>

#include "json/type_error_text.h"
#include "oracle/value_reader.h"

namespace vantor::json {

using memory::Arena;
namespace {

std::string read_error_of(const std::string& input) {
    Arena arena;
    ReadResult result = read_payload(input, arena);
    return result.ok() ? "<read without error>" : result.error;
}

TEST(TypeErrorText, TopLevelTokens) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"\"a\\nb\"", "invalid type: string \"a\\nb\", expected a sequence at line 1 column 6"},
        {"  \"it's\" x", "invalid type: string \"it's\", expected a sequence at line 1 column 8"},
        {"-9223372036854775809",
         "invalid type: floating point `-9.223372036854776e+18`, expected a sequence at line 1 "
         "column 20"},
        {"123.456e-2",
         "invalid type: floating point `1.23456`, expected a sequence at line 1 column 10"},
        {"1e16", "invalid type: floating point `1e+16`, expected a sequence at line 1 column 4"},
        {"\n\n  false", "invalid type: boolean `false`, expected a sequence at line 3 column 7"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(read_error_of(c.input), c.expected) << c.input;
}

TEST(TypeErrorText, QuotedStrings) {
    struct Case {
        std::string text;
        std::string quoted;
    };
    const Case cases[] = {
        {"plain it's", "\"plain it's\""},
        {"q\"b\\", "\"q\\\"b\\\\\""},
        {std::string("\0\t\n\r", 4), "\"\\0\\t\\n\\r\""},
        {"\x01\x08\x0C\x1F\x7F", "\"\\u{1}\\u{8}\\u{c}\\u{1f}\\u{7f}\""},
        {"\xC2\x80\xC2\x85\xC2\x9F", "\"\\u{80}\\u{85}\\u{9f}\""},     // C1 controls
        {"\xC2\xA0", "\"\\u{a0}\""},                                   // no-break space
        {"\xE3\x80\x80", "\"\\u{3000}\""},                             // ideographic space
        {"\xC2\xAD", "\"\\u{ad}\""},                                   // soft hyphen, Cf
        {"\xE2\x80\x8B\xEF\xBB\xBF", "\"\\u{200b}\\u{feff}\""},        // Cf
        {"\xCD\x8F", "\"\\u{34f}\""},                                  // default ignorable
        {"e\xCC\x81", "\"e\\u{301}\""},                                // grapheme extender
        {"\xEF\xBE\x9E\xEF\xBE\x9F", "\"\xEF\xBE\x9E\xEF\xBE\x9F\""},  // U+FF9E, U+FF9F as is
        {"\xEE\x80\x80\xF3\xB0\x80\x80\xF4\x8F\xBF\xBD",
         "\"\\u{e000}\\u{f0000}\\u{10fffd}\""},                   // private use
        {"\xCD\xB8\xF4\x8F\xBF\xBF", "\"\\u{378}\\u{10ffff}\""},  // unassigned
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        // Assigned in Unicode 17.0: U+088F is a letter, U+1ACF a combining mark (Grapheme_Extend).
        {"\xE0\xA2\x8F", "\"\xE0\xA2\x8F\""},
        {"\xE1\xAB\x8F", "\"\\u{1acf}\""},
        // Assigned in 17.0: Tai Yo letter U+1E6C0.
        {"\xF0\x9E\x9B\x80", "\"\xF0\x9E\x9B\x80\""},
        {"", "\"\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quote_found_string(c.text), c.quoted) << c.quoted;
}

}  // namespace
}  // namespace vantor::json
