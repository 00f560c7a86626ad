// The value model: deep equality, objects built from members (a repeated name's first position
// and last value), the hashed name index of larger objects and member lookup.
#include "oracle/value.h"

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

JsonObject* object_of(Arena& arena, std::initializer_list<JsonMember> members) {
    return JsonObject::from_members(arena, std::span(members.begin(), members.size()));
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
    EXPECT_FALSE(JsonValue::array({}) == JsonValue::object(object_of(arena, {})));

    JsonObject* xy = object_of(arena, {{"x", u(1)}, {"y", u(2)}});
    JsonObject* yx = object_of(arena, {{"y", u(2)}, {"x", u(1)}});
    JsonObject* xz = object_of(arena, {{"x", u(1)}, {"z", u(2)}});
    JsonObject* x = object_of(arena, {{"x", u(1)}});
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

// Objects of every size around the point where the name index is built, from members checked
// distinct (the index built by the first lookup) or not (built as the members go in), and with
// every name given again in reverse order: lookup finds every member, absent names miss, order is
// the first occurrences' order, and a repeated name holds its last value.
TEST(JsonObjectTest, LookupAndOrderAcrossTheIndexThreshold) {
    for (std::size_t count : {0u, 1u, 7u, 8u, 9u, 16u, 17u, 100u, 1000u}) {
        Arena arena;
        std::vector<std::string> names;
        for (std::size_t n = 0; n < count; ++n)
            names.push_back(numbered('m', count - n));
        std::vector<JsonMember> members;
        for (std::size_t n = 0; n < count; ++n)
            members.push_back({names[n], u(n)});
        std::vector<JsonMember> twice = members;
        for (std::size_t n = count; n-- > 0;)
            twice.push_back({names[n], u(n + 1000)});
        struct Built {
            const JsonObject* object;
            std::uint64_t added;  // to the value of member n
        };
        const Built built[] = {
            {JsonObject::from_distinct_members(arena, members), 0},
            {JsonObject::from_members(arena, members), 0},
            {JsonObject::from_members(arena, twice), 1000},
        };
        for (const Built& b : built) {
            ASSERT_EQ(b.object->size(), count);
            EXPECT_EQ(names_of(*b.object), names);
            for (std::size_t n = 0; n < count; ++n) {
                const JsonValue* found = b.object->find(names[n]);
                ASSERT_NE(found, nullptr) << names[n] << " of " << count;
                EXPECT_TRUE(*found == u(n + b.added)) << names[n] << " of " << count;
            }
            EXPECT_EQ(b.object->find("absent"), nullptr);
            EXPECT_EQ(b.object->find(""), nullptr);
        }
        EXPECT_TRUE(JsonValue::object(built[0].object) == JsonValue::object(built[1].object));
        EXPECT_EQ(JsonValue::object(built[1].object) == JsonValue::object(built[2].object),
                  count == 0);
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

}  // namespace
}  // namespace vantor::json
