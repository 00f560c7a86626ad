// The tape as the fast reader lays it out, cell by cell, through the dump helper: the worked
// example of tape.h, and the forms each kind of cell is chosen for.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "memory/padded_copy.h"
#include "tape/tape.h"
#include "tape/tape_reader.h"
#include "tape_support.h"

namespace {

using vantor::tape::describe_tape;
using vantor::tape::read_tape;
using vantor::tape::Tape;

struct TapeCase {
    const char* name;
    std::string_view payload;
    const char*
        cells;  // describe_tape's text; nullptr when the payload is left to the exact reader
};

const TapeCase kCases[] = {
    // The worked example of tape.h, kept in step with it.
    {"worked example", R"([{"id":7,"name":"a\"b","tags":[1.5,null]},{"id":-8,"at":{"x":true}}])",
     "0: array size=68 end=12 offset=0\n"
     "1: object size=40 end=7 offset=1\n"
     "2: integer 7\n"
     "3: string_decoded a\"b\n"
     "4: array size=10 end=7 offset=30\n"
     "5: float_text 1.5\n"
     "6: null\n"
     "7: object size=25 end=12 offset=42\n"
     "8: integer -8\n"
     "9: object size=10 end=12 offset=56\n"
     "10: string_text x\n"
     "11: boolean_true\n"},
    {"empty array", "[]", "0: array size=2 end=1 offset=0\n"},
    {"whitespace around", " [ { } ] ",
     "0: array size=7 end=2 offset=1\n"
     "1: object size=3 end=2 offset=3\n"},
    // A float outside the float text's layout keeps its significand and exponent when one
    // correctly rounded operation reads it, and its value otherwise.
    {"float forms", R"([{"a":12.50,"b":1e2,"c":0.000001,"d":1.2345678901234567,"e":false}])",
     "0: array size=67 end=7 offset=0\n"
     "1: object size=65 end=7 offset=1\n"
     "2: float_decimal 1250e-2\n"
     "3: float_decimal 1e2\n"
     "4: float_decimal 1e-6\n"
     "5: float_value 1.2345678901234567\n"
     "6: boolean_false\n"},
    {"a row that is not an object", "[{},1]", nullptr},
    {"not an array", "{}", nullptr},
    {"trailing text", "[] x", nullptr},
};

TEST(Tape, CellsOfEachForm) {
    for (const TapeCase& c : kCases) {
        const vantor::memory::PaddedCopy padded(c.payload);
        Tape tape;
        bool read = read_tape(padded.text(), tape);
        if (c.cells == nullptr) {
            EXPECT_FALSE(read) << c.name;
            continue;
        }
        ASSERT_TRUE(read) << c.name;
        EXPECT_EQ(describe_tape(tape), c.cells) << c.name;
    }
}

}  // namespace
