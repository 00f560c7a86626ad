// End-to-end cases of the columnar transform, checked byte for byte.
#include "transform/columnarize.h"
#include "oracle/exact_transform.h"
#include "support/padded_copy.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using vantor::test_support::columnarize_copy;
using vantor::transform::TransformOutcome;

struct TransformCase {
    const char* name;
    std::string_view payload;
    std::string_view expected;
};

std::string result_of(std::string_view payload) {
    TransformOutcome outcome = columnarize_copy(payload);
    EXPECT_EQ(outcome.kind, TransformOutcome::Kind::result) << outcome.text.view();
    return std::string(outcome.text.view());
}

std::string failure_of(std::string_view payload) {
    TransformOutcome outcome = columnarize_copy(payload);
    EXPECT_EQ(outcome.kind, TransformOutcome::Kind::failure) << outcome.text.view();
    return std::string(outcome.text.view());
}

const TransformCase transform_cases[] = {
    {"worked_example", R"([{"a":1,"b":2},{"a":1,"c":3}])",
     R"({"columns":["b","c"],"rows":[[2,null],[null,3]],"constants":{"a":1}})"},
    {"empty_array", "[]", R"({"columns":[],"rows":[],"constants":{}})"},
    {"one_empty_row", "[{}]", R"({"columns":[],"rows":[[]],"constants":{}})"},
    {"two_empty_rows", "[{},{}]", R"({"columns":[],"rows":[[],[]],"constants":{}})"},
    {"single_row_has_no_constants", R"([{"a":1,"b":null}])",
     R"({"columns":["a"],"rows":[[1]],"constants":{}})"},
    {"all_null_dropped_and_constant", R"([{"a":null,"b":1},{"b":1,"c":null}])",
     R"({"columns":[],"rows":[[],[]],"constants":{"b":1}})"},
    {"all_null_over_several_rows_is_dropped_not_constant",
     R"([{"a":null,"b":1},{"a":null,"b":2},{"a":null,"b":3}])",
     R"({"columns":["b"],"rows":[[1],[2],[3]],"constants":{}})"},
    {"all_null_or_absent_over_several_rows", R"([{"a":null},{"b":1},{"a":null,"b":2},{}])",
     R"({"columns":["b"],"rows":[[null],[1],[2],[null]],"constants":{}})"},
    {"all_null_beside_a_constant_in_every_row", R"([{"a":null,"b":"x"},{"b":"x","a":null}])",
     R"({"columns":[],"rows":[[],[]],"constants":{"b":"x"}})"},
    {"lacking_member_breaks_constant", R"([{"a":1},{}])",
     R"({"columns":["a"],"rows":[[1],[null]],"constants":{}})"},
    {"first_appearance_order", R"([{"b":1,"a":2},{"c":3,"a":4}])",
     R"({"columns":["b","a","c"],"rows":[[1,2,null],[null,4,3]],"constants":{}})"},
    {"unsigned_then_float_constant_keeps_unsigned", R"([{"a":1},{"a":1.0}])",
     R"({"columns":[],"rows":[[],[]],"constants":{"a":1}})"},
    {"float_then_unsigned_constant_keeps_float", R"([{"a":1.0},{"a":1}])",
     R"({"columns":[],"rows":[[],[]],"constants":{"a":1.0}})"},
    {"zero_and_negative_zero_match", R"([{"a":0},{"a":-0.0}])",
     R"({"columns":[],"rows":[[],[]],"constants":{"a":0}})"},
    {"nested_numbers_compare_by_variant", R"([{"a":[1]},{"a":[1.0]}])",
     R"({"columns":["a"],"rows":[[[1]],[[1.0]]],"constants":{}})"},
    {"objects_equal_regardless_of_order", R"([{"a":{"x":1,"y":2}},{"a":{"y":2,"x":1}}])",
     R"({"columns":[],"rows":[[],[]],"constants":{"a":{"x":1,"y":2}}})"},
    {"true_is_not_one", R"([{"a":true},{"a":1}])",
     R"({"columns":["a"],"rows":[[true],[1]],"constants":{}})"},
    {"nested_nulls_are_not_all_null", R"([{"a":{"x":null}},{"a":{"x":null}}])",
     R"({"columns":[],"rows":[[],[]],"constants":{"a":{"x":null}}})"},
    {"duplicate_name_in_row_keeps_last_value", R"([{"a":1,"a":2}])",
     R"({"columns":["a"],"rows":[[2]],"constants":{}})"},
    {"writing_rules_in_the_result",
     R"([{"name":"Zoë \"Z\"","v":1.50,"w":1e2},{"name":"Al/Bo","v":-0.0,"w":1e2}])",
     R"({"columns":["name","v"],"rows":[["Zoë \"Z\"",1.5],["Al/Bo",-0.0]],"constants":{"w":100.0}})"},
    {"null_in_first_row_is_not_constant", R"([{"a":null},{"a":1},{"a":1}])",
     R"({"columns":["a"],"rows":[[null],[1],[1]],"constants":{}})"},
    {"constant_after_differing_member_orders", R"([{"a":1,"b":2},{"b":2,"a":1},{"b":2,"a":1}])",
     R"({"columns":[],"rows":[[],[],[]],"constants":{"a":1,"b":2}})"},
    {"column_missing_from_first_row_is_not_constant", R"([{"a":1},{"a":1,"b":2},{"a":1,"b":2}])",
     R"({"columns":["b"],"rows":[[null],[2],[2]],"constants":{"a":1}})"},
    {"previous_row_guess_missed_by_order_and_count",
     R"([{"a":1,"b":2},{"b":3,"a":4,"c":5},{"b":6},{"a":7,"b":8,"c":9}])",
     R"({"columns":["a","b","c"],"rows":[[1,2,null],[4,3,5],[null,6,null],[7,8,9]],"constants":{}})"},
    {"previous_row_guess_missed_by_a_name_of_equal_length", R"([{"ab":1,"cd":2},{"cd":3,"ab":1}])",
     R"({"columns":["cd"],"rows":[[2],[3]],"constants":{"ab":1}})"},
    {"row_repeating_the_last_rows_names_then_one_again", R"([{"x":1,"y":2},{"x":1,"y":2,"x":3}])",
     R"({"columns":["x"],"rows":[[1],[3]],"constants":{"y":2}})"},
    {"nested_object_repeating_the_last_ones_names_then_one_again",
     R"([{"o":{"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8,"i":9}},{"o":{"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8,"i":9,"a":0}},{"o":{"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8,"i":9}}])",
     R"({"columns":["o"],"rows":[[{"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8,"i":9}],[{"a":0,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8,"i":9}],[{"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8,"i":9}]],"constants":{}})"},
    {"large_nested_objects_giving_names_again",
     R"([{"o":{"k0":0,"k1":1,"k2":2,"k3":3,"k4":4,"k5":5,"k6":6,"k7":7,"k8":8,"k9":9,"k10":10,"k11":11,"k12":12,"k13":13,"k14":14,"k15":15,"k16":16,"k17":17,"k18":18,"k19":19,"k3":-3,"k0":-0.5,"k3":30},"p":{"a":1,"b":2,"a":3,"c":4,"d":5,"e":6,"f":7,"g":8,"h":9,"b":[1]}},{"o":{"k19":0,"k18":1,"k17":2,"k16":3,"k15":4,"k14":5,"k13":6,"k12":7,"k11":8,"k10":9,"k9":10,"k8":11,"k7":12,"k6":13,"k5":14,"k4":15,"k3":16,"k2":17,"k1":18,"k0":19,"k19":"last"},"p":{"a":1}}])",
     R"({"columns":["o","p"],"rows":[[{"k0":-0.5,"k1":1,"k2":2,"k3":30,"k4":4,"k5":5,"k6":6,"k7":7,"k8":8,"k9":9,"k10":10,"k11":11,"k12":12,"k13":13,"k14":14,"k15":15,"k16":16,"k17":17,"k18":18,"k19":19},{"a":3,"b":[1],"c":4,"d":5,"e":6,"f":7,"g":8,"h":9}],[{"k19":"last","k18":1,"k17":2,"k16":3,"k15":4,"k14":5,"k13":6,"k12":7,"k11":8,"k10":9,"k9":10,"k8":11,"k7":12,"k6":13,"k5":14,"k4":15,"k3":16,"k2":17,"k1":18,"k0":19},{"a":1}]],"constants":{}})"},
    {"whitespace_around_array", " \t\r\n[ {\"a\" : 1} ] \n",
     R"({"columns":["a"],"rows":[[1]],"constants":{}})"},
};

class TransformCases : public testing::TestWithParam<TransformCase> {};

TEST_P(TransformCases, WritesExactResult) {
    EXPECT_EQ(result_of(GetParam().payload), GetParam().expected);
}

// The reference transform writes the same, so that the tables that compare the transform with it
// compare it with a reference that is right.
TEST_P(TransformCases, TheReferenceWritesTheSameResult) {
    const vantor::oracle::ExactOutcome exact =
        vantor::oracle::columnarize_exact(GetParam().payload);
    EXPECT_FALSE(exact.failed);
    EXPECT_EQ(exact.text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Columnarize, TransformCases, testing::ValuesIn(transform_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// How the constant test compares each pair of number variants is column_values_test's table.
// Here: numbers written in different forms (exponent, fraction, negative zero, beyond 2^63) take
// part in it as the values they denote, on the whole path from payload text to result.
struct NumberPair {
    const char* name;
    std::string_view first;
    std::string_view second;
    bool constant;
};

const NumberPair number_pairs[] = {
    {"two_to_63_unsigned_vs_its_exponent_form", "9223372036854775808", "9.223372036854775808e18",
     true},
    {"most_negative_vs_its_fraction_form", "-9223372036854775808", "-9223372036854775808.0", true},
    {"fraction_vs_exponent_form", "0.5", "5e-1", true},
    {"integer_vs_exponent_form", "100", "1e2", true},
    {"unsigned_zero_vs_negative_zero_integer_token", "0", "-0", true},
    {"negative_vs_positive_float", "-1", "1.0", false},
    {"fraction_never_matches_integer", "1", "1.5", false},
};

class NumberConstants : public testing::TestWithParam<NumberPair> {};

TEST_P(NumberConstants, ConstantOnlyForEqualValues) {
    const NumberPair& pair = GetParam();
    std::string payload =
        "[{\"n\":" + std::string(pair.first) + "},{\"n\":" + std::string(pair.second) + "}]";
    std::string result = result_of(payload);
    bool constant = result.find("\"constants\":{\"n\":") != std::string::npos;
    EXPECT_EQ(constant, pair.constant) << result;
    if (!constant) {
        EXPECT_EQ(result.find("\"columns\":[\"n\"]"), 1u) << result;
    }
}

INSTANTIATE_TEST_SUITE_P(Columnarize, NumberConstants, testing::ValuesIn(number_pairs),
                         [](const auto& info) { return std::string(info.param.name); });

// A constant integer beyond 2^53 is written as read, not through its nearest binary64.
TEST(Columnarize, ConstantIntegerIsWrittenExactly) {
    EXPECT_EQ(result_of(R"([{"id":9007199254740993},{"id":9007199254740993}])"),
              R"({"columns":[],"rows":[[],[]],"constants":{"id":9007199254740993}})");
}

struct FailureCase {
    const char* name;
    std::string_view payload;
    std::string_view expected;
};

const FailureCase failure_cases[] = {
    {"first_non_object_named", R"([{"a":1},2,"x"])", "expected a JSON object row, got: 2"},
    {"array_element_compact", R"([{"a":1},[1, 2]])", "expected a JSON object row, got: [1,2]"},
    {"string_element_quoted", R"([{"a":1},"x"])", R"(expected a JSON object row, got: "x")"},
    {"empty_payload", "",
     "invalid row-oriented JSON: EOF while parsing a value at line 1 column 0"},
    {"trailing_characters", R"([{"a":1}] x)",
     "invalid row-oriented JSON: trailing characters at line 1 column 11"},
    {"reading_failure_beats_non_object", R"([1, {"a":])",
     "invalid row-oriented JSON: expected value at line 1 column 10"},
    {"null_row", "[null]", "expected a JSON object row, got: null"},
    {"nested_row_text_not_shortened", R"([[{"k":[1,{"z":null}]}, -0, 1e2]])",
     R"(expected a JSON object row, got: [{"k":[1,{"z":null}]},-0.0,100.0])"},
};

TEST(Columnarize, FailuresCarryExactMessages) {
    for (const FailureCase& c : failure_cases) {
        EXPECT_EQ(failure_of(c.payload), c.expected) << c.name;
    }
    EXPECT_EQ(failure_of("[[1, 2.50, \"x\\ty\"]]"),
              R"(expected a JSON object row, got: [1,2.5,"x\ty"])");
}

// Rows that each bring their own member: every column is all-null or written, none constant,
// and the matrix is rows x columns.
TEST(Columnarize, SparseRowsFillTheMatrixWithNull) {
    EXPECT_EQ(
        result_of(R"([{"a":1},{"b":2},{"c":null},{"d":3}])"),
        R"({"columns":["a","b","d"],"rows":[[1,null,null],[null,2,null],[null,null,null],[null,null,3]],"constants":{}})");
}

// Many members, in shuffled order between rows, so that the column index's guesses from the
// previous row miss and its name table answers.
TEST(Columnarize, WideRowsInShuffledOrder) {
    std::string first = "{", second = "{";
    for (int i = 0; i < 40; ++i) {
        first += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":" + std::to_string(i % 3 ? i : 0);
        int j = 39 - i;
        second += (i ? ",\"k" : "\"k") + std::to_string(j) + "\":" + std::to_string(j % 3 ? j : 7);
    }
    std::string result = result_of("[" + first + "}," + second + "}]");
    // Columns whose index is a multiple of 3 differ (0 vs 7); all others are constant.
    std::string columns = "\"columns\":[";
    for (int i = 0; i < 40; i += 3)
        columns += (i ? ",\"k" : "\"k") + std::to_string(i) + "\"";
    columns += "]";
    EXPECT_NE(result.find(columns), std::string::npos) << result;
    EXPECT_NE(result.find("\"constants\":{\"k1\":1,\"k2\":2,\"k4\":4,"), std::string::npos)
        << result;
}

}  // namespace

namespace {

// Rows with the same keys as the row before them, then a row that breaks the pattern with a key
// given twice: that key keeps its first position and its last value (the column index tries
// the previous row's column at each position first, so rows that repeat their predecessor's keys
// take a path of their own).
TEST(Columnarize, RepeatedKeyAfterRowsWithTheSameKeys) {
    auto row = [](int last_key, int value) {
        std::string text = "{";
        for (int k = 0; k < 10; ++k) {
            text.append(k ? ",\"k" : "\"k").append(std::to_string(k == 9 ? last_key : k));
            text.append("\":").append(std::to_string(value + k));
        }
        return text.append("}");
    };
    std::string payload = "[";
    payload.append(row(9, 0)).append(",").append(row(9, 100)).append(",").append(row(0, 200));
    payload.append("]");
    EXPECT_EQ(result_of(payload),
              R"({"columns":["k0","k1","k2","k3","k4","k5","k6","k7","k8","k9"],"rows":[)"
              R"([0,1,2,3,4,5,6,7,8,9],[100,101,102,103,104,105,106,107,108,109],)"
              R"([209,201,202,203,204,205,206,207,208,null]],"constants":{}})");
}

}  // namespace

namespace {

// Long runs of null entries, at the start of a row array, in its middle and at its end, across
// the blocks in which they are appended.
TEST(Columnarize, LongRunsOfNullEntries) {
    std::string full = "{", expected_full = "[";
    for (int k = 0; k < 40; ++k) {
        full.append(k ? ",\"k" : "\"k").append(std::to_string(k)).append("\":").append("1");
        expected_full.append(k ? ",1" : "1");
    }
    full.append("}");
    expected_full.append("]");
    std::string only_k20 = "[", all_null = "[";
    for (int k = 0; k < 40; ++k) {
        only_k20.append(k ? "," : "").append(k == 20 ? "2" : "null");
        all_null.append(k ? ",null" : "null");
    }
    only_k20.append("]");
    all_null.append("]");
    std::string columns = "[";
    for (int k = 0; k < 40; ++k)
        columns.append(k ? ",\"k" : "\"k").append(std::to_string(k)).append("\"");
    columns.append("]");

    std::string payload = "[";
    payload.append(full).append(",{\"k20\":2},{}]");
    std::string expected = "{\"columns\":";
    expected.append(columns).append(",\"rows\":[").append(expected_full).append(",");
    expected.append(only_k20).append(",").append(all_null).append("],\"constants\":{}}");
    EXPECT_EQ(result_of(payload), expected);
}

}  // namespace

namespace {

// A payload of several megabytes takes the large-allocation paths: the tape's cells and the
// result buffer.
TEST(Columnarize, PayloadOfSeveralMegabytes) {
    constexpr int rows = 60000;
    std::string payload = "[";
    std::string expected_rows;
    for (int r = 0; r < rows; ++r) {
        std::string id = std::to_string(r);
        payload.append(r ? ",{\"id\":" : "{\"id\":").append(id);
        payload.append(",\"name\":\"row number ").append(id).append("\",\"kind\":\"fixed\"}");
        expected_rows.append(r ? ",[" : "[").append(id).append(",\"row number ").append(id);
        expected_rows.append("\"]");
    }
    payload.append("]");
    ASSERT_GT(payload.size(), std::size_t{3} << 20);
    std::string expected = R"({"columns":["id","name"],"rows":[)";
    expected.append(expected_rows).append(R"(],"constants":{"kind":"fixed"}})");
    EXPECT_EQ(result_of(payload), expected);
}

}  // namespace

namespace {

// Both paths expect an object to repeat the keys of an object before it (the previous row's
// columns, a recent object's names on the tape, the exact reader's last object at each depth); a
// repeated key that breaks the pattern, in a row or in a nested object, still keeps the first
// position and the last value.
TEST(Columnarize, RepeatedKeysBreakingThePatternAtEachDepth) {
    EXPECT_EQ(result_of(R"([{"a":1,"b":2,"c":3},{"a":4,"b":5,"c":6},{"a":7,"b":8,"a":9}])"),
              R"({"columns":["a","b","c"],"rows":[[1,2,3],[4,5,6],[9,8,null]],"constants":{}})");
    EXPECT_EQ(result_of(R"([{"m":{"x":1,"y":2},"k":1},{"m":{"x":3,"x":4},"k":2}])"),
              R"({"columns":["m","k"],"rows":[[{"x":1,"y":2},1],[{"x":4},2]],"constants":{}})");
    EXPECT_EQ(result_of(R"([{"m":{"x":1,"y":2}},{"m":{"y":2,"x":1}},{"m":{"x":1,"y":2}}])"),
              R"({"columns":[],"rows":[[],[],[]],"constants":{"m":{"x":1,"y":2}}})");
}

}  // namespace
