// The tape reader's decoding of strings with escapes against the shared string reader: the same
// text and the same end where it decodes, and the shared reader's turn where it leaves a string.
#include "text/escaped_string.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "memory/arena.h"
#include "support/padded_copy.h"
#include "text/read_error.h"
#include "text/string_reader.h"

namespace {

struct Outcome {
    bool decoded;            // by the fast decoding; else left to the shared reader
    std::string text;        // what was decoded
    std::size_t end_offset;  // where the string ended
};

// The fast decoding of `payload`, a string's text after its opening quote that holds at least
// one backslash, in a padded copy.
Outcome decode(std::string_view payload) {
    const vantor::test_support::PaddedCopy padded(payload);
    const auto* begin = reinterpret_cast<const unsigned char*>(padded.text().data());
    const unsigned char* end = begin + payload.size();
    const unsigned char* first_escape = begin;
    while (first_escape < end && *first_escape != '\\')
        ++first_escape;
    vantor::memory::Arena arena;
    std::string_view text;
    const unsigned char* after =
        vantor::text::decode_common_escapes(begin, first_escape, end, arena, text);
    if (after == nullptr) return {false, "", 0};
    return {true, std::string(text), static_cast<std::size_t>(after - begin)};
}

Outcome read_shared(std::string_view payload) {
    const auto* begin = reinterpret_cast<const unsigned char*>(payload.data());
    const unsigned char* cursor = begin;
    std::string scratch;
    vantor::memory::Arena arena;
    std::string_view text;
    vantor::text::ReadError error;
    if (!vantor::text::read_string(begin, cursor, begin + payload.size(), scratch, arena, text,
                                   error)) {
        return {false, "", 0};
    }
    return {true, std::string(text), static_cast<std::size_t>(cursor - begin)};
}

// Decoded here, to the shared reader's text and end.
void expect_decoded_as_shared(std::string_view body) {
    const Outcome fast = decode(body);
    const Outcome shared = read_shared(body);
    ASSERT_TRUE(fast.decoded);
    ASSERT_TRUE(shared.decoded);
    EXPECT_EQ(fast.text, shared.text);
    EXPECT_EQ(fast.end_offset, shared.end_offset);
}

TEST(EscapedString, DecodesAsTheSharedReaderOrLeavesItTheString) {
    struct Case {
        std::string_view body;
        bool decoded_here;
    };
    const Case cases[] = {
        {R"(\n")", true},
        {R"(a\"b")", true},
        {R"(\\")", true},
        {R"(\\\"")", true},
        {R"(\/\b\f\n\r\t")", true},
        {R"(\u0041\u00e9\u20ac\uFFFF\u0000")", true},
        {R"(caf\u00E9 and \u00e9t\u00e9 \"quoted\" \\ end")", true},
        {"\xc3\xa9t\xc3\xa9 \\n \xe2\x82\xac\"", true},
        // Runs longer than a vector step on either side of the escapes.
        {"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\\n"
         "yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy\"",
         true},
        // Text after the closing quote is not the string's.
        {R"(\n", "next\n")", true},
        // Left to the shared reader: it decodes surrogate pairs and refuses the rest.
        {R"(\ud83d\ude00")", false},
        {R"(\ud83d")", false},
        {R"(\ude00")", false},
        {R"(\x")", false},
        {R"(\u12")", false},
        {R"(\u12g4")", false},
        {"\\n\x01\"", false},
        {"\\n\x1f\"", false},
        {R"(\n)", false},
        {R"(\)", false},
        {R"(\u00e)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.body));
        if (c.decoded_here) {
            expect_decoded_as_shared(c.body);
        } else {
            EXPECT_FALSE(decode(c.body).decoded);
        }
    }
}

// Every two-character escape and \u escapes around each UTF-8 length's edges, each at every
// offset of a vector step, so that the stop is met in each lane of the scan.
TEST(EscapedString, EachEscapeAtEachOffsetOfAStep) {
    const std::string_view escapes[] = {R"(\")",     R"(\\)",     R"(\/)",     R"(\b)",
                                        R"(\f)",     R"(\n)",     R"(\r)",     R"(\t)",
                                        R"(\u007f)", R"(\u0080)", R"(\u07ff)", R"(\u0800)",
                                        R"(\ud7ff)", R"(\ue000)", R"(\uffff)", R"(\u0000)"};
    for (std::string_view escape : escapes) {
        for (std::size_t offset = 0; offset < 70; ++offset) {
            std::string body = std::string(offset, 'a') + std::string(escape) + "z" +
                               std::string(offset % 7, 'b') + std::string(escape) + "\"tail";
            SCOPED_TRACE(body);
            expect_decoded_as_shared(body);
        }
    }
}

}  // namespace
