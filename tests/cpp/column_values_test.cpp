// The constant test's number comparison at the boundaries of the integer ranges, including
// values the reader never produces (a non-negative signed integer) but the model can hold.
#include "oracle/exact_column_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "number_values.h"

namespace {

using vantor::oracle::column_values_equal;

using vantor::json::JsonValue;

using vantor::json::test_values::f;
using vantor::json::test_values::i;
using vantor::json::test_values::u;

struct Pair {
    const char* name;
    JsonValue a;
    JsonValue b;
    bool equal;
};

constexpr std::uint64_t max_u64 = std::numeric_limits<std::uint64_t>::max();
constexpr std::int64_t min_i64 = std::numeric_limits<std::int64_t>::min();

TEST(ColumnValuesEqual, NumbersCompareByExactValue) {
    const Pair pairs[] = {
        {"1_vs_1.0", u(1), f(1.0), true},
        {"0_vs_-0.0", u(0), f(-0.0), true},
        {"2^53+1_vs_2^53", u(9007199254740993u), u(9007199254740992u), false},
        {"2^53+1_vs_2^53_float", u(9007199254740993u), f(9007199254740992.0), false},
        {"2^53_vs_2^53_float", u(9007199254740992u), f(9007199254740992.0), true},
        {"max_u64_vs_2^64_float", u(max_u64), f(18446744073709551616.0), false},
        {"2^63_unsigned_vs_min_i64", u(9223372036854775808u), i(min_i64), false},
        {"min_i64_vs_float", i(min_i64), f(-9223372036854775808.0), true},
        {"min_i64_vs_2^63_float", i(min_i64), f(9223372036854775808.0), false},
        {"min_i64_vs_next_float_down", i(min_i64), f(-9223372036854777856.0), false},
        {"signed_-1_vs_-1.0", i(-1), f(-1.0), true},
        {"signed_5_vs_unsigned_5", i(5), u(5), true},
        {"signed_-5_vs_unsigned_5", i(-5), u(5), false},
        {"signed_vs_fraction", i(-3), f(-3.5), false},
        {"unsigned_vs_fraction", u(3), f(3.25), false},
        {"unsigned_vs_negative_float", u(3), f(-3.0), false},
        {"float_vs_float_ieee", f(0.0), f(-0.0), true},
        {"float_vs_float_differ", f(0.1), f(0.2), false},
        {"float_first_then_integer", f(42.0), i(42), true},
        {"huge_float_vs_max_u64", f(1e300), u(max_u64), false},
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(column_values_equal(p.a, p.b), p.equal) << p.name;
        EXPECT_EQ(column_values_equal(p.b, p.a), p.equal) << p.name << " (swapped)";
    }
}

TEST(ColumnValuesEqual, NonNumbersUseDeepEquality) {
    JsonValue one_array_items[] = {u(1)};
    JsonValue one_float_items[] = {f(1.0)};
    EXPECT_FALSE(
        column_values_equal(JsonValue::array(one_array_items), JsonValue::array(one_float_items)));
    EXPECT_FALSE(column_values_equal(JsonValue::boolean(true), u(1)));
    EXPECT_FALSE(column_values_equal(JsonValue::null(), u(0)));
    EXPECT_TRUE(column_values_equal(JsonValue::string("x"), JsonValue::string("x")));
}

}  // namespace
