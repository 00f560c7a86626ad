// The value model: deep equality, object insertion and replacement order, the hashed name index
// of larger objects, member lookup and deep copy.
#include "json/value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory/arena.h"
#include "number_values.h"

namespace vantor::json {

using memory::Arena;
using text::JsonNumber;
namespace {

using test_values::f;
using test_values::i;
using test_values::u;

JsonObject* new_object(Arena& arena) {
    return new (arena.allocate(sizeof(JsonObject), alignof(JsonObject))) JsonObject(arena);
}

// A name like "m12"; built by appending, which avoids a false -Wrestrict of GCC 12 on
// `"m" + std::to_string(n)`.
std::string numbered(char prefix, std::size_t n) {
    std::string name(1, prefix);
    name += std::to_string(n);
    return name;
}

std::vector<std::string> names_of(const JsonObject& object) {
    std::vector<std::string> names;
    for (const JsonMember& member : object)
        names.emplace_back(member.name);
    return names;
}

TEST(JsonValueEquality, ScalarsCompareByKindVariantAndValue) {
    struct Case {
        JsonValue a;
        JsonValue b;
        bool equal;
    };
    const Case cases[] = {
        {JsonValue::null(), JsonValue::null(), true},
        {JsonValue::boolean(true), JsonValue::boolean(true), true},
        {JsonValue::boolean(true), JsonValue::boolean(false), false},
        {JsonValue::boolean(true), u(1), false},
        {JsonValue::null(), JsonValue::boolean(false), false},
        {u(1), u(1), true},
        {u(1), u(2), false},
        {u(1), f(1.0), false},
        {u(1), i(1), false},
        {i(-1), f(-1.0), false},
        {i(-1), i(-1), true},
        {f(0.0), f(-0.0), true},
        {f(0.1), f(0.1), true},
        {f(0.1), f(0.2), false},
        {JsonValue::string("ab"), JsonValue::string("ab"), true},
        {JsonValue::string("ab"), JsonValue::string("abc"), false},
        {JsonValue::string("ab"), JsonValue::string("aB"), false},
        {JsonValue::string(""), JsonValue::string(""), true},
        {JsonValue::string("1"), u(1), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a == c.b, c.equal);
        EXPECT_EQ(c.b == c.a, c.equal);
    }
}

TEST(JsonValueEquality, ContainersCompareDeeply) {
    Arena arena;
    JsonValue one_two[] = {u(1), u(2)};
    JsonValue two_one[] = {u(2), u(1)};
    JsonValue one[] = {u(1)};
    JsonValue one_two_float[] = {u(1), f(2.0)};
    EXPECT_TRUE(JsonValue::array(one_two) == JsonValue::array(std::span(one_two)));
    EXPECT_FALSE(JsonValue::array(one_two) == JsonValue::array(two_one));
    EXPECT_FALSE(JsonValue::array(one_two) == JsonValue::array(one));
    EXPECT_FALSE(JsonValue::array(one_two) == JsonValue::array(one_two_float));
    EXPECT_FALSE(JsonValue::array({}) == JsonValue::object(new_object(arena)));

    JsonObject* xy = new_object(arena);
    xy->insert("x", u(1));
    xy->insert("y", u(2));
    JsonObject* yx = new_object(arena);
    yx->insert("y", u(2));
    yx->insert("x", u(1));
    JsonObject* xz = new_object(arena);
    xz->insert("x", u(1));
    xz->insert("z", u(2));
    JsonObject* x = new_object(arena);
    x->insert("x", u(1));
    EXPECT_TRUE(JsonValue::object(xy) == JsonValue::object(yx));
    EXPECT_FALSE(JsonValue::object(xy) == JsonValue::object(xz));
    EXPECT_FALSE(JsonValue::object(xy) == JsonValue::object(x));
    EXPECT_FALSE(JsonValue::object(x) == JsonValue::object(xy));

    JsonValue nested_a[] = {JsonValue::object(xy)};
    JsonValue nested_b[] = {JsonValue::object(yx)};
    JsonValue nested_c[] = {JsonValue::object(xz)};
    EXPECT_TRUE(JsonValue::array(nested_a) == JsonValue::array(nested_b));
    EXPECT_FALSE(JsonValue::array(nested_a) == JsonValue::array(nested_c));
}

TEST(JsonObjectTest, InsertAppendsNewNamesAndReplacesInPlace) {
    Arena arena;
    JsonObject* object = new_object(arena);
    EXPECT_FALSE(object->insert("a", u(1)).has_value());
    EXPECT_FALSE(object->insert("b", u(2)).has_value());
    std::optional<JsonValue> previous = object->insert("a", u(3));
    ASSERT_TRUE(previous.has_value());
    EXPECT_TRUE(*previous == u(1));
    EXPECT_EQ(object->size(), 2u);
    EXPECT_EQ(names_of(*object), (std::vector<std::string>{"a", "b"}));
    ASSERT_NE(object->find("a"), nullptr);
    EXPECT_TRUE(*object->find("a") == u(3));
    EXPECT_EQ(object->find("c"), nullptr);
    EXPECT_EQ(object->find("A"), nullptr);
}

// Objects of every size around the point where the name index is built, filled one by one or
// all at once: lookup finds every member, absent names miss, order is insertion order.
TEST(JsonObjectTest, LookupAndOrderAcrossTheIndexThreshold) {
    for (std::size_t count : {0u, 1u, 7u, 8u, 9u, 16u, 17u, 100u, 1000u}) {
        Arena arena;
        std::vector<std::string> names;
        for (std::size_t n = 0; n < count; ++n)
            names.push_back(numbered('m', count - n));
        std::vector<JsonMember> members;
        JsonObject* grown = new_object(arena);
        for (std::size_t n = 0; n < count; ++n) {
            grown->insert(names[n], u(n));
            members.push_back({names[n], u(n)});
        }
        JsonObject* built = JsonObject::from_members(arena, members);
        for (const JsonObject* object : {grown, built}) {
            ASSERT_EQ(object->size(), count);
            EXPECT_EQ(names_of(*object), names);
            for (std::size_t n = 0; n < count; ++n) {
                const JsonValue* found = object->find(names[n]);
                ASSERT_NE(found, nullptr) << names[n] << " of " << count;
                EXPECT_TRUE(*found == u(n));
            }
            EXPECT_EQ(object->find("absent"), nullptr);
            EXPECT_EQ(object->find(""), nullptr);
        }
        // Replacing every member keeps the order and the count.
        for (std::size_t n = 0; n < count; ++n) {
            std::optional<JsonValue> previous = grown->insert(names[n], u(n + 1000));
            ASSERT_TRUE(previous.has_value());
            EXPECT_TRUE(*previous == u(n));
        }
        EXPECT_EQ(grown->size(), count);
        EXPECT_EQ(names_of(*grown), names);
        if (count != 0) {
            EXPECT_TRUE(*grown->find(names[count / 2]) == u(count / 2 + 1000));
        }
        EXPECT_TRUE(JsonValue::object(grown) == JsonValue::object(grown));
        EXPECT_EQ(JsonValue::object(grown) == JsonValue::object(built), count == 0);
    }
}

TEST(JsonObjectTest, FromMembersKeepsFirstPositionAndLastValue) {
    for (std::size_t filler : {0u, 10u}) {
        Arena arena;
        std::vector<std::string> names;
        for (std::size_t n = 0; n < filler; ++n)
            names.push_back(numbered('f', n));
        std::vector<JsonMember> members{{"a", u(1)}, {"b", u(2)}};
        for (const std::string& name : names)
            members.push_back({name, JsonValue::null()});
        members.push_back({"a", u(3)});
        JsonObject* object = JsonObject::from_members(arena, members);
        EXPECT_EQ(object->size(), 2 + filler);
        EXPECT_EQ(object->members()[0].name, "a");
        EXPECT_TRUE(object->members()[0].value == u(3));
        EXPECT_TRUE(*object->find("a") == u(3));
    }
}

TEST(JsonNumberTest, ConversionToBinary64RoundsToNearestEven) {
    struct Case {
        JsonNumber number;
        double expected;
    };
    const Case cases[] = {
        {JsonNumber::from_unsigned(0), 0.0},
        {JsonNumber::from_unsigned(9007199254740993u), 9007199254740992.0},
        {JsonNumber::from_unsigned(9007199254740995u), 9007199254740996.0},
        {JsonNumber::from_unsigned(18446744073709551615u), 18446744073709551616.0},
        {JsonNumber::from_signed(-9007199254740993), -9007199254740992.0},
        {JsonNumber::from_signed(INT64_MIN), -9223372036854775808.0},
        {JsonNumber::from_float(-0.0), -0.0},
        {JsonNumber::from_float(0.1), 0.1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.number.to_binary64(), c.expected);
}

}  // namespace
}  // namespace vantor::json
