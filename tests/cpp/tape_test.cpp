// The tape as the tape reader lays it out, cell by cell, through the dump helper: the worked
// example of tape.h, and the forms each kind of cell is chosen for.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/padded_copy.h"
#include "tape/read_tape.h"
#include "tape/tape.h"
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
     "4: array size=10 end=7 offset=30 verbatim\n"
     "5: float_text 1.5\n"
     "6: null\n"
     "7: object size=25 end=12 offset=42\n"
     "8: integer -8\n"
     "9: object size=10 end=12 offset=56 verbatim\n"
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
    // Values inside rows whose text is their output are marked verbatim; whitespace, an escape,
    // a number written otherwise or a repeated name inside a container make it and the
    // containers around it irregular, not the containers beside it or inside it.
    {"verbatim and irregular values",
     R"([{"a":[1, 2],"b":{"c":"d\n"},"e":[[1],{"f":1.50}],"g":{"h":1,"h":2},"i":[[],{}]}])",
     "0: array size=81 end=20 offset=0\n"
     "1: object size=79 end=20 offset=1\n"
     "2: array size=6 end=5 offset=6\n"
     "3: integer 1\n"
     "4: integer 2\n"
     "5: object size=11 end=8 offset=17\n"
     "6: string_text c\n"
     "7: string_decoded d\n\n"
     "8: array size=16 end=14 offset=33\n"
     "9: array size=3 end=11 offset=34 verbatim\n"
     "10: integer 1\n"
     "11: object size=10 end=14 offset=38\n"
     "12: string_text f\n"
     "13: float_decimal 150e-2\n"
     "14: object size=13 end=17 offset=54\n"
     "15: string_text h\n"
     "16: integer 2\n"
     "17: array size=7 end=20 offset=72 verbatim\n"
     "18: array size=2 end=19 offset=73 verbatim\n"
     "19: object size=2 end=20 offset=76 verbatim\n"},
    {"a row that is not an object, read all the same", "[{},1,[{}]]",
     "0: array size=11 end=5 offset=0\n"
     "1: object size=2 end=2 offset=1\n"
     "2: integer 1\n"
     "3: array size=4 end=5 offset=6\n"
     "4: object size=2 end=5 offset=7 verbatim\n"},
    {"not an array", "{}", nullptr},
    {"trailing text", "[] x", nullptr},
};

TEST(Tape, CellsOfEachForm) {
    for (const TapeCase& c : kCases) {
        const vantor::test_support::PaddedCopy padded(c.payload);
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
