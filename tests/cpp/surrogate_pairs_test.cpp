// \u escapes at the edges of their ranges, surrogate pairs above all: the lowest and the highest
// pair, the code points around the surrogates and around each UTF-8 length, and the lone and odd
// escapes that are refused. Each is checked in three places that decode on their own: the
// product's string reader, the reference's decoder, and the whole transform, as a value and as a
// name.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "memory/arena.h"
#include "oracle/string_text.h"
#include "support/agreement.h"
#include "support/padded_copy.h"
#include "text/read_error.h"
#include "text/string_reader.h"
#include "transform/columnarize.h"

namespace {

using vantor::transform::TransformOutcome;

struct Decoded {
    const char* escapes;    // the text between the quotes
    std::string_view utf8;  // what it stands for
};

const Decoded decoded_cases[] = {
    {R"(\ud800\udc00)", "\xF0\x90\x80\x80"},  // U+10000, the lowest pair
    {R"(\udbff\udfff)", "\xF4\x8F\xBF\xBF"},  // U+10FFFF, the highest pair
    {R"(\uDBFF\uDFFF)", "\xF4\x8F\xBF\xBF"},
    {R"(\ud800\udfff)", "\xF0\x90\x8F\xBF"},  // U+103FF
    {R"(\udbff\udc00)", "\xF4\x8F\xB0\x80"},  // U+10FC00
    {R"(\ud83d\ude00)", "\xF0\x9F\x98\x80"},  // U+1F600
    {R"(\ud7ff)", "\xED\x9F\xBF"},            // just below the surrogates
    {R"(\ue000)", "\xEE\x80\x80"},            // just above them
    {R"(\uffff)", "\xEF\xBF\xBF"},
    {R"(\u0000)", std::string_view("\0", 1)},
    {R"(\u007f)", "\x7F"},
    {R"(\u0080)", "\xC2\x80"},
    {R"(\u07ff)", "\xDF\xBF"},
    {R"(\u0800)", "\xE0\xA0\x80"},
    {R"(a\ud800\udc00b\u00e9)",
     "a\xF0\x90\x80\x80"
     "b\xC3\xA9"},
    {R"(\ud800\udc00\udbff\udfff)", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
};

// The product's string reader on the quoted text; nothing when it refuses it.
std::optional<std::string> product_decoding(std::string_view escapes) {
    const std::string token = "\"" + std::string(escapes) + "\"";
    const auto* begin = reinterpret_cast<const unsigned char*>(token.data());
    const unsigned char* cursor = begin + 1;
    std::string scratch;
    vantor::memory::Arena arena;
    std::string_view out;
    vantor::text::ReadError error;
    if (!vantor::text::read_string(begin, cursor, begin + token.size(), scratch, arena, out,
                                   error)) {
        return std::nullopt;
    }
    return std::string(out);
}

TEST(SurrogatePairs, EscapesDecodeToTheirCodePoints) {
    for (const Decoded& c : decoded_cases) {
        SCOPED_TRACE(c.escapes);
        EXPECT_EQ(product_decoding(c.escapes), std::optional<std::string>(c.utf8));
        EXPECT_EQ(vantor::oracle::decode_string_text(c.escapes),
                  std::optional<std::string>(c.utf8));

        // Raw bytes in the result: nothing in them needs an escape but the NUL.
        const std::string written =
            c.utf8 == std::string_view("\0", 1) ? std::string(R"(\u0000)") : std::string(c.utf8);
        const std::string as_value = "[{\"s\":\"" + std::string(c.escapes) + "\"}]";
        const TransformOutcome value = vantor::test_support::columnarize_copy(as_value);
        EXPECT_EQ(value.text.view(),
                  "{\"columns\":[\"s\"],\"rows\":[[\"" + written + "\"]],\"constants\":{}}");
        const std::string as_name =
            "[{\"" + std::string(c.escapes) + "\":1},{\"" + std::string(c.escapes) + "\":2}]";
        const TransformOutcome name = vantor::test_support::columnarize_copy(as_name);
        EXPECT_EQ(name.text.view(),
                  "{\"columns\":[\"" + written + "\"],\"rows\":[[1],[2]],\"constants\":{}}");
        EXPECT_EQ(vantor::test_support::disagreement(as_value), "");
        EXPECT_EQ(vantor::test_support::disagreement(as_name), "");
    }
}

TEST(SurrogatePairs, LoneAndOddEscapesAreRefused) {
    struct Refused {
        const char* payload;
        const char* message;
    };
    const Refused cases[] = {
        {R"(["\uDC00"])", "lone leading surrogate in hex escape at line 1 column 8"},
        {R"(["\udfff"])", "lone leading surrogate in hex escape at line 1 column 8"},
        {R"(["\uD800"])", "unexpected end of hex escape at line 1 column 9"},
        {R"(["\udbffx"])", "unexpected end of hex escape at line 1 column 9"},
        {R"(["\ud800\n"])", "unexpected end of hex escape at line 1 column 10"},
        {R"(["\uD800\u0041"])", "lone leading surrogate in hex escape at line 1 column 14"},
        {R"(["\ud800\ud800"])", "lone leading surrogate in hex escape at line 1 column 14"},
        {R"(["\udbff\ue000"])", "lone leading surrogate in hex escape at line 1 column 14"},
        {R"(["\udc00\ud800"])", "lone leading surrogate in hex escape at line 1 column 8"},
        {R"(["\ud800\u00zz"])", "invalid escape at line 1 column 14"},
        {R"(["\ud800)", "EOF while parsing a string at line 1 column 8"},
        {R"(["\ud800\)", "EOF while parsing a string at line 1 column 9"},
        {R"(["\ud800\udc)", "EOF while parsing a string at line 1 column 12"},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.payload);
        const TransformOutcome outcome = vantor::test_support::columnarize_copy(c.payload);
        EXPECT_EQ(outcome.kind, TransformOutcome::Kind::failure);
        EXPECT_EQ(outcome.text.view(), std::string("invalid row-oriented JSON: ") + c.message);
        EXPECT_EQ(vantor::test_support::disagreement(c.payload), "");
        // The reference's decoder refuses the same text between the quotes.
        std::string_view raw = std::string_view(c.payload).substr(2);
        raw = raw.substr(0, raw.find('"'));
        EXPECT_EQ(vantor::oracle::decode_string_text(raw), std::nullopt) << raw;
    }
}

// A top-level string is refused with its text quoted in the message, decoded by the string
// reader alone: U+10000 as itself, U+10FFFF (a noncharacter) as an escape.
TEST(SurrogatePairs, TopLevelStringsAreQuotedInTheTypeError) {
    struct Quoted {
        const char* payload;
        std::string_view message;
    };
    const Quoted cases[] = {
        {R"("\ud800\udc00")",
         "invalid type: string \"\xF0\x90\x80\x80\", expected a sequence at line 1 column 14"},
        {R"("\udbff\udfff")",
         "invalid type: string \"\\u{10ffff}\", expected a sequence at line 1 column 14"},
        {R"("\ud83d\ude00")",
         "invalid type: string \"\xF0\x9F\x98\x80\", expected a sequence at line 1 column 14"},
    };
    for (const Quoted& c : cases) {
        SCOPED_TRACE(c.payload);
        const TransformOutcome outcome = vantor::test_support::columnarize_copy(c.payload);
        EXPECT_EQ(outcome.text.view(), "invalid row-oriented JSON: " + std::string(c.message));
        EXPECT_EQ(vantor::test_support::disagreement(c.payload), "");
    }
}

}  // namespace
