#pragma once
// The JSON value model: six kinds of value, numbers that keep their variant, and objects that
// keep insertion order with unique names and an index of their names.
//
// Storage: a document's values live in an Arena (memory/arena.h) and are released with it. A
// JsonValue is a small handle; copying the handle is shallow. Strings are views: the reader points
// them at the payload when they hold no escape, otherwise at arena storage.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <utility>

#include "memory/arena.h"
#include "text/json_number.h"

namespace vantor::json {

enum class JsonKind : std::uint8_t { null, boolean, number, string, array, object };

class JsonObject;

class JsonValue {
  public:
    constexpr JsonValue() : payload_{.unsigned_ = 0} {}

    static constexpr JsonValue null() { return JsonValue(); }
    static constexpr JsonValue boolean(bool value) {
        JsonValue v;
        v.kind_ = JsonKind::boolean;
        v.payload_.unsigned_ = value ? 1 : 0;
        return v;
    }
    static constexpr JsonValue number(text::JsonNumber value) {
        JsonValue v;
        v.kind_ = JsonKind::number;
        v.variant_ = value.variant();
        switch (value.variant()) {
            case text::JsonNumber::Variant::unsigned_integer:
                v.payload_.unsigned_ = value.unsigned_value();
                break;
            case text::JsonNumber::Variant::signed_integer:
                v.payload_.signed_ = value.signed_value();
                break;
            case text::JsonNumber::Variant::float64:
                v.payload_.float_ = value.float_value();
                break;
        }
        return v;
    }
    // The text is not copied: it must outlive the value (arena or payload storage).
    static constexpr JsonValue string(std::string_view text) {
        JsonValue v;
        v.kind_ = JsonKind::string;
        v.payload_.text_ = text.data();
        v.size_ = text.size();
        return v;
    }
    // The elements are not copied: they must outlive the value.
    static constexpr JsonValue array(std::span<const JsonValue> items) {
        JsonValue v;
        v.kind_ = JsonKind::array;
        v.payload_.items_ = items.data();
        v.size_ = items.size();
        return v;
    }
    static constexpr JsonValue object(const JsonObject* members) {
        JsonValue v;
        v.kind_ = JsonKind::object;
        v.payload_.object_ = members;
        return v;
    }

    constexpr JsonKind kind() const { return kind_; }
    constexpr bool is_null() const { return kind_ == JsonKind::null; }
    constexpr bool is_object() const { return kind_ == JsonKind::object; }

    constexpr bool as_boolean() const { return payload_.unsigned_ != 0; }
    text::JsonNumber as_number() const {
        switch (variant_) {
            case text::JsonNumber::Variant::unsigned_integer:
                return text::JsonNumber::from_unsigned(payload_.unsigned_);
            case text::JsonNumber::Variant::signed_integer:
                return text::JsonNumber::from_signed(payload_.signed_);
            case text::JsonNumber::Variant::float64:
                break;
        }
        return text::JsonNumber::from_float(payload_.float_);
    }
    constexpr std::string_view as_string() const { return {payload_.text_, size_}; }
    constexpr std::span<const JsonValue> as_array() const { return {payload_.items_, size_}; }
    const JsonObject& as_object() const { return *payload_.object_; }

    // Deep equality: same kind and equal content; numbers need the same variant; object member
    // order is ignored.
    friend bool operator==(const JsonValue& a, const JsonValue& b);

  private:
    union Payload {
        std::uint64_t unsigned_;
        std::int64_t signed_;
        double float_;
        const char* text_;
        const JsonValue* items_;
        const JsonObject* object_;
    } payload_;
    std::size_t size_ = 0;
    JsonKind kind_ = JsonKind::null;
    text::JsonNumber::Variant variant_ = text::JsonNumber::Variant::unsigned_integer;
};

struct JsonMember {
    std::string_view name;
    JsonValue value;
};

// Members in insertion order with unique names, and beside them the members' positions sorted by
// name, which a lookup searches by halves. Plain on purpose: the reference's objects share no
// hashing with the tables of the product they check.
class JsonObject {
  public:
    // An object holding `members` in order, where a repeated name keeps the position of its
    // first occurrence and the value of its last (the reader's rule for duplicate keys).
    // Names and values are not copied.
    static JsonObject* from_members(memory::Arena& arena, std::span<const JsonMember> members);

    // An object holding `members` in order, whose names the caller knows to be distinct (for
    // example because they repeat a sequence already checked). Names and values are not copied.
    static JsonObject* from_distinct_members(memory::Arena& arena,
                                             std::span<const JsonMember> members);

    // The member's value, or nullptr when the name is absent.
    const JsonValue* find(std::string_view name) const;

    std::size_t size() const { return size_; }
    std::span<const JsonMember> members() const { return {members_, size_}; }
    const JsonMember* begin() const { return members_; }
    const JsonMember* end() const { return members_ + size_; }

  private:
    JsonObject() = default;
    static JsonObject* with_capacity(memory::Arena& arena, std::size_t capacity);
    void sort_by_name();

    JsonMember* members_ = nullptr;
    // members_[by_name_[0]], members_[by_name_[1]], ... have ascending names.
    std::size_t* by_name_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace vantor::json
