#include "oracle/value.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "hashing/object_names.h"
#include "json/depth_stack.h"

namespace vantor::json {

namespace {

bool is_container(JsonKind kind) {
    return kind == JsonKind::array || kind == JsonKind::object;
}

// Two values of the same kind that are not containers.
bool scalars_equal(const JsonValue& a, const JsonValue& b) {
    switch (a.kind()) {
        case JsonKind::null:
            return true;
        case JsonKind::boolean:
            return a.as_boolean() == b.as_boolean();
        case JsonKind::number:
            return a.as_number() == b.as_number();
        case JsonKind::string:
            return a.as_string() == b.as_string();
        case JsonKind::array:
        case JsonKind::object:
            break;
    }
    return false;
}

// A pair of containers being compared: the left side's elements or members still to compare,
// and the right side's next element (arrays) or the right object (objects).
struct ComparedPair {
    const void* left_next;
    const void* left_end;
    const void* right;
    bool object;
};

// Whether two containers of the same kind can be equal by their sizes; if so and they are not
// empty, pushes them.
bool open_pair(const JsonValue& a, const JsonValue& b, DepthStack<ComparedPair>& open) {
    if (a.kind() == JsonKind::array) {
        std::span<const JsonValue> left = a.as_array();
        std::span<const JsonValue> right = b.as_array();
        if (left.size() != right.size()) return false;
        if (!left.empty()) open.push({left.data(), left.data() + left.size(), right.data(), false});
        return true;
    }
    const JsonObject& left = a.as_object();
    const JsonObject& right = b.as_object();
    if (left.size() != right.size()) return false;
    if (left.size() != 0) open.push({left.begin(), left.end(), &right, true});
    return true;
}

// Two containers of the same kind, compared level by level on an explicit stack; the comparison
// stops at the first unequal pair.
bool containers_equal(const JsonValue& a, const JsonValue& b) {
    DepthStack<ComparedPair> open;
    if (!open_pair(a, b, open)) return false;
    while (!open.empty()) {
        ComparedPair& top = open.top();
        if (top.left_next == top.left_end) {
            open.pop();
            continue;
        }
        const JsonValue* left;
        const JsonValue* right;
        if (top.object) {
            const auto* member = static_cast<const JsonMember*>(top.left_next);
            top.left_next = member + 1;
            left = &member->value;
            right = static_cast<const JsonObject*>(top.right)->find(member->name);
            if (right == nullptr) return false;
        } else {
            left = static_cast<const JsonValue*>(top.left_next);
            right = static_cast<const JsonValue*>(top.right);
            top.left_next = left + 1;
            top.right = right + 1;
        }
        if (left->kind() != right->kind()) return false;
        if (is_container(left->kind())) {
            if (!open_pair(*left, *right, open)) return false;
        } else if (!scalars_equal(*left, *right)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool operator==(const JsonValue& a, const JsonValue& b) {
    if (a.kind_ != b.kind_) return false;
    return is_container(a.kind_) ? containers_equal(a, b) : scalars_equal(a, b);
}

JsonObject* JsonObject::with_capacity(memory::Arena& arena, std::size_t capacity) {
    auto* object = new (arena.allocate(sizeof(JsonObject), alignof(JsonObject))) JsonObject(arena);
    if (capacity == 0) return object;
    if (capacity >= std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("object has too many members");
    }
    object->members_ = arena.allocate_array<JsonMember>(capacity);
    object->capacity_ = capacity;
    return object;
}

JsonObject* JsonObject::from_members(memory::Arena& arena, std::span<const JsonMember> members) {
    JsonObject* object = with_capacity(arena, members.size());
    // Sized for every member up front, so the index never grows while the members go in.
    if (members.size() > kLinearSearchLimit) object->allocate_index(members.size());
    // The rule for repeated names (hashing/object_names.h) over the object's own index: each new
    // name is appended as it comes, and the values of repeated ones are put in place after.
    struct KeptList {
        hashing::KeptMember* items;
        std::size_t count = 0;
        void push_back(hashing::KeptMember kept) { items[count++] = kept; }
        std::size_t size() const { return count; }
        hashing::KeptMember& operator[](std::size_t i) { return items[i]; }
    } kept{arena.allocate_array<hashing::KeptMember>(members.size())};
    hashing::keep_first_position_last_value(
        0, static_cast<std::uint32_t>(members.size()),
        [&](std::uint32_t member) {
            const Place place = object->locate(members[member].name);
            if (place.position < object->size_) {
                return hashing::NameTable::Found{static_cast<std::uint32_t>(place.position), false};
            }
            object->append(place, members[member].name, members[member].value);
            return hashing::NameTable::Found{static_cast<std::uint32_t>(object->size_ - 1), true};
        },
        kept);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (kept[i].value_member != kept[i].name_member) {
            object->members_[i].value = members[kept[i].value_member].value;
        }
    }
    return object;
}

JsonObject* JsonObject::from_distinct_members(memory::Arena& arena,
                                              std::span<const JsonMember> members) {
    JsonObject* object = with_capacity(arena, members.size());
    if (!members.empty()) {
        std::memcpy(static_cast<void*>(object->members_), members.data(),
                    members.size() * sizeof(JsonMember));
    }
    object->size_ = members.size();
    return object;
}

JsonObject::Place JsonObject::locate(std::string_view name) const {
    if (slots_ == nullptr && size_ > kLinearSearchLimit) build_index();
    if (slots_ == nullptr) {
        for (std::size_t i = 0; i < size_; ++i) {
            if (text::same_bytes(members_[i].name, name)) return {i, 0, 0};
        }
        return {size_, 0, 0};
    }
    const std::uint64_t hash = name_hash(name);
    const std::size_t slot = hashing::name_slots::probe(
        slots_, slot_mask_, hash, name,
        [this](std::uint32_t position) { return members_[position].name; });
    const std::size_t position =
        slots_[slot] != 0 ? hashing::name_slots::ordinal(slots_[slot]) : size_;
    return {position, slot, hash};
}

std::uint64_t JsonObject::name_hash(std::string_view name) const {
    return std::uint64_t{static_cast<std::uint32_t>(hashing::siphash13(keys_, name))} << 32;
}

const JsonValue* JsonObject::find(std::string_view name) const {
    std::size_t position = locate(name).position;
    return position < size_ ? &members_[position].value : nullptr;
}

void JsonObject::append(const Place& place, std::string_view name, JsonValue value) {
    new (&members_[size_]) JsonMember{name, value};
    ++size_;
    if (slots_ != nullptr) {
        slots_[place.slot] =
            hashing::name_slots::entry(place.hash, static_cast<std::uint32_t>(size_ - 1));
    }
}

void JsonObject::allocate_index(std::size_t members) const {
    std::size_t slots = hashing::name_slots::count_for(members);
    slots_ = arena_->allocate_array<std::uint64_t>(slots);
    std::memset(slots_, 0, slots * sizeof(std::uint64_t));
    slot_mask_ = slots - 1;
    if (keys_.k0 == 0 && keys_.k1 == 0) keys_ = hashing::next_hash_keys();
}

void JsonObject::build_index() const {
    allocate_index(size_);
    for (std::size_t position = 0; position < size_; ++position) {
        const std::uint64_t entry = hashing::name_slots::entry(
            name_hash(members_[position].name), static_cast<std::uint32_t>(position));
        hashing::name_slots::place(slots_, slot_mask_, entry);
    }
}

}  // namespace vantor::json
