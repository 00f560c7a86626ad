// The tape's other forms, for texts and containers that its cells cannot place (payloads past
// 4 GiB, texts of 2^28 bytes, more containers than the extents' table names), reached on small
// payloads with the limits set low: the cells take those forms, and the transform's outcome under
// each set of limits is the reference's, byte for byte.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <string_view>

#include "oracle/exact_transform.h"
#include "support/agreement.h"
#include "support/padded_copy.h"
#include "tape/tape.h"
#include "tape_support.h"
#include "transform/columnarize.h"

namespace {

using vantor::tape::TapeLimits;
using vantor::transform::TransformOutcome;

TapeLimits limits_of(std::size_t offsets, std::size_t text_size, std::size_t extents) {
    TapeLimits limits;
    limits.offsets = offsets;
    limits.text_size = text_size;
    limits.extents = extents;
    return limits;
}

TEST(TapeLimits, TextsAndContainersBeyondTheLimitsTakeTheirOtherForms) {
    const std::string payload =
        R"([{"s":"abcdef","t":"ab","i":123456,"j":12,"f":1.2345,"e":"a\nb","o":[{"k":1}]}])";
    const vantor::test_support::PaddedCopy padded(payload);
    struct Case {
        const char* name;
        TapeLimits limits;
        const char* cells;
    };
    const Case cases[] = {
        {"texts of four bytes or more in the table, floats by value",
         limits_of(std::size_t{1} << 32, 4, std::size_t{1} << 20),
         "0: array size=79 end=12 offset=0\n"
         "1: object size=77 end=12 offset=1\n"
         "2: string_decoded abcdef\n"
         "3: string_text ab\n"
         "4: integer_in_table 123456\n"
         "5: integer 12\n"
         "6: float_value 1.2344999999999999\n"
         "7: string_decoded a\nb\n"
         "8: array size=9 end=12 offset=68 verbatim\n"
         "9: object size=7 end=12 offset=69 verbatim\n"
         "10: string_text k\n"
         "11: integer 1\n"},
        {"texts past offset 40 in the table, containers past it without an extent",
         limits_of(40, std::size_t{1} << 28, std::size_t{1} << 20),
         "0: array end=12 no extent\n"
         "1: object end=12 no extent\n"
         "2: string_text abcdef\n"
         "3: string_text ab\n"
         "4: integer 123456\n"
         "5: integer_in_table 12\n"
         "6: float_value 1.2344999999999999\n"
         "7: string_decoded a\nb\n"
         "8: array end=12 no extent\n"
         "9: object end=12 no extent\n"
         "10: string_decoded k\n"
         "11: integer_in_table 1\n"},
        {"one extent", limits_of(std::size_t{1} << 32, std::size_t{1} << 28, 1),
         "0: array end=12 no extent\n"
         "1: object end=12 no extent\n"
         "2: string_text abcdef\n"
         "3: string_text ab\n"
         "4: integer 123456\n"
         "5: integer 12\n"
         "6: float_text 1.2345\n"
         "7: string_decoded a\nb\n"
         "8: array end=12 no extent\n"
         "9: object size=7 end=12 offset=69 verbatim\n"
         "10: string_text k\n"
         "11: integer 1\n"},
    };
    for (const Case& c : cases) {
        vantor::tape::Tape tape(nullptr, c.limits);
        ASSERT_TRUE(vantor::tape::read_tape(padded.text(), tape)) << c.name;
        EXPECT_EQ(vantor::tape::describe_tape(tape), c.cells) << c.name;
    }
}

TEST(TapeLimits, OutcomesUnderLowLimitsAgreeWithTheReference) {
    const char* const payloads[] = {
        R"([{"id":12345,"name":"a long enough name","f":1.25,"z":-0.0,"n":null,"tags":[1,2,{"x":"yy"}]},)"
        R"({"id":12345,"name":"other","f":1.25,"tags":[1,2,{"x":"yy"}]}])",
        // Constants whose values take the other forms, compared with each other.
        R"([{"s":"abcdefghijklmnop","i":123456789,"f":12.5,"o":{"k":[1,2,3]}},)"
        R"({"s":"abcdefghijklmnop","i":123456789,"f":12.5,"o":{"k":[1,2,3]}}])",
        R"([{"a":100,"b":1.5,"c":[100]},{"a":100.0,"b":1.50,"c":[1e2]}])",
        R"([{"a":18446744073709551615,"b":-9223372036854775808},)"
        R"({"a":18446744073709551615,"b":-9223372036854775808.0}])",
        // Escaped names and values.
        R"([{"na\u00efve":"x\ny","k":"\u00e9t\u00e9"},{"na\u00efve":"x\ny","k":"t"}])",
        // Whitespace, and repeated names inside a row's values and in a row.
        "[\n {\"a\": {\"x\": 1, \"x\": 2}, \"b\": [ 1 , 2 ]},\n {\"a\": {\"x\": 2}, \"b\": "
        "[1,2]}\n]",
        R"([{"a":1,"b":"long text","a":"longer text"},{"a":"longer text","b":"long text"}])",
        // Rows that are not objects, and refused payloads.
        R"([{"a":1},[{"b":"long text here"},123456],"a string row"])",
        R"(["a string row first",{"a":1}])",
        R"([{"a":12345678},{"a":)",
        R"([{"a":"long text"},{"a":1e400}])",
        R"([])",
        R"([{},{}])",
    };
    struct Limits {
        const char* name;
        TapeLimits limits;
    };
    const Limits all_limits[] = {
        {"as they are", TapeLimits()},
        {"texts of four bytes", limits_of(std::size_t{1} << 32, 4, std::size_t{1} << 20)},
        {"texts of one byte", limits_of(std::size_t{1} << 32, 1, std::size_t{1} << 20)},
        {"offsets of 24 bytes", limits_of(24, std::size_t{1} << 28, std::size_t{1} << 20)},
        {"two extents", limits_of(std::size_t{1} << 32, std::size_t{1} << 28, 2)},
        {"nothing placed", limits_of(0, 1, 0)},
    };
    for (const char* payload : payloads) {
        const vantor::oracle::ExactOutcome expected = vantor::oracle::columnarize_exact(payload);
        const vantor::test_support::PaddedCopy padded(payload);
        for (const Limits& l : all_limits) {
            const TransformOutcome outcome =
                vantor::transform::columnarize(padded.text(), l.limits);
            EXPECT_EQ(vantor::test_support::disagreement(outcome, expected), "")
                << l.name << ": " << payload;
        }
    }
}

// Cells are the one limit on a payload: a tape of more than the cells a container's end can name
// would take more memory than a call may have, and the call runs out of memory.
TEST(TapeLimits, MoreCellsThanTheLimitRunOutOfMemory) {
    TapeLimits limits;
    limits.cells = 100;
    auto payload_of = [](int values) {
        std::string payload = "[{\"a\":[0";
        for (int i = 1; i < values; ++i)
            payload += ",0";
        return payload + "]}]";
    };
    const std::string fits = payload_of(97);  // 97 values, the array, the row, the top level
    const std::string over = payload_of(98);
    const TransformOutcome outcome =
        vantor::transform::columnarize(vantor::test_support::PaddedCopy(fits).text(), limits);
    EXPECT_EQ(outcome.text.view(), vantor::oracle::columnarize_exact(fits).text);
    EXPECT_THROW(
        vantor::transform::columnarize(vantor::test_support::PaddedCopy(over).text(), limits),
        std::bad_alloc);
}

}  // namespace

// Texts of 2^28 bytes and more at their real size: one escape-free, kept in the payload, and one
// with an escape, decoded; their cells cannot hold their length.
TEST(TapeLimits, TextsOfTwoToTheTwentyEighthBytes) {
    const std::size_t size = (std::size_t{1} << 28) + 3;
    const std::string plain(size, 'x');
    std::string escaped(size, 'y');
    escaped.replace(size / 2, 2, "\\n");
    const std::string payload = "[{\"a\":\"" + plain + "\",\"b\":\"" + escaped + "\"}]";
    // One row: both members are columns, written back as they stand (the escape written again).
    const std::string expected = R"({"columns":["a","b"],"rows":[[")" + plain + R"(",")" + escaped +
                                 R"("]],"constants":{}})";
    const TransformOutcome outcome = vantor::test_support::columnarize_copy(payload);
    ASSERT_EQ(outcome.kind, TransformOutcome::Kind::result);
    // Compared whole, not printed: a failure would print half a gigabyte.
    EXPECT_TRUE(outcome.text.view() == expected);
}
