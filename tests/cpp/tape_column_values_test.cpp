// The tape comparison's shortcuts (equal text, an integer against a float text, the two zeros,
// decoded numbers and strings, objects whose members come in another order), each pair checked
// for the expected answer, both ways round, and against the exact comparison of the same values.
#include "transform/tape_column_values.h"

#include <gtest/gtest.h>

#include <string>

#include "memory/arena.h"
#include "oracle/exact_column_values.h"
#include "oracle/value_reader.h"
#include "support/padded_copy.h"
#include "tape/read_tape.h"
#include "tape/tape.h"
#include "tape_support.h"

namespace {

struct TextPair {
    const char* a;
    const char* b;
    bool equal;
};

const TextPair kPairs[] = {
    // Same kind, text settles it.
    {"12", "12", true},
    {"12", "13", false},
    {"\"ab\"", "\"ab\"", true},
    {"\"ab\"", "\"ac\"", false},
    {"1.5", "1.5", true},
    {"1.5", "1.25", false},
    {"0.0", "-0.0", true},
    {"-0.0", "-0.0", true},
    // An integer against a float in the float text's layout.
    {"100", "100.0", true},
    {"100", "100.5", false},
    {"0", "-0.0", true},
    {"-0", "0.0", true},
    {"-7", "-7.0", true},
    {"7", "-7.0", false},
    // Other number forms, decoded: exponents, trailing zeros, long and huge integers.
    {"1e2", "100", true},
    {"1e2", "100.0", true},
    {"12.50", "12.5", true},
    {"0.000001", "1e-6", true},
    {"1.2345678901234567", "1.2345678901234567", true},
    {"9007199254740993", "9007199254740992.0", false},
    {"9007199254740992", "9007199254740992.0", true},
    {"18446744073709551615", "18446744073709551615", true},
    {"-9223372036854775808", "-9.223372036854775808e18", true},
    // An unsigned integer against a signed one: a negative value never matches, even where the
    // two's complement bits are the same.
    {"18446744073709551615", "-1", false},
    {"9223372036854775808", "-9223372036854775808", false},
    {"5", "-5", false},
    // Strings with escapes against the same text without.
    {"\"a\\u0062\"", "\"ab\"", true},
    {"\"a\\n\"", "\"a\\u000a\"", true},
    {"\"a\\n\"", "\"a\"", false},
    // Kinds that differ.
    {"1", "\"1\"", false},
    {"null", "false", false},
    {"true", "true", true},
    {"[]", "{}", false},
    // Containers compare by deep equality: numbers inside need the same variant, and members
    // pair off by name whatever their order.
    {"[1,2.0]", "[1,2.0]", true},
    {"[1,2.0]", "[1.0,2]", false},
    {"{\"x\":1}", "{\"x\":1.0}", false},
    {"[1,2]", "[2,1]", false},
    {"{\"x\":1,\"y\":[2.5]}", "{\"y\":[2.5],\"x\":1}", true},
    {"{\"x\":1,\"y\":2}", "{\"x\":1,\"z\":2}", false},
    {"{\"x\":1}", "{\"x\":1,\"y\":2}", false},
    {"{\"a\":1,\"b\":2,\"c\":3,\"d\":4,\"e\":5,\"f\":6,\"g\":7,\"h\":8,\"i\":9,\"j\":10}",
     "{\"j\":10,\"i\":9,\"h\":8,\"g\":7,\"f\":6,\"e\":5,\"d\":4,\"c\":3,\"b\":2,\"a\":1}", true},
    {"{\"a\":1,\"b\":2,\"c\":3,\"d\":4,\"e\":5,\"f\":6,\"g\":7,\"h\":8,\"i\":9,\"j\":10}",
     "{\"j\":10,\"i\":9,\"h\":8,\"g\":7,\"f\":6,\"e\":5,\"d\":4,\"c\":3,\"b\":2,\"a\":0}", false},
};

// The two values as the members "a" and "b" of one row, on a tape and in the value model.
TEST(TapeColumnValuesEqual, ShortcutsAgreeWithTheExactComparison) {
    for (const TextPair& p : kPairs) {
        for (bool swapped : {false, true}) {
            const char* first = swapped ? p.b : p.a;
            const char* second = swapped ? p.a : p.b;
            std::string payload = std::string("[{\"a\":") + first + ",\"b\":" + second + "}]";
            std::string name = payload + (swapped ? " (swapped)" : "");

            const vantor::test_support::PaddedCopy padded(payload);
            vantor::tape::Tape tape;
            ASSERT_TRUE(vantor::tape::read_tape(padded.text(), tape)) << name;
            // Cell 0 is the array and cell 1 the row, whose values follow it.
            const std::uint32_t a = 2;
            const std::uint32_t b = vantor::tape::value_end(tape.cells(), a);
            vantor::transform::ObjectMatching matching;
            EXPECT_EQ(vantor::transform::column_values_equal(tape, a, b, matching), p.equal)
                << name;

            vantor::memory::Arena arena(1024);
            vantor::json::ReadResult read = vantor::json::read_payload(payload, arena);
            ASSERT_TRUE(read.ok()) << name;
            const auto& row = read.rows[0].as_object();
            EXPECT_EQ(vantor::oracle::column_values_equal(*row.find("a"), *row.find("b")), p.equal)
                << name << " (exact)";
        }
    }
}

}  // namespace
