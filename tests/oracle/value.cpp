#include "oracle/value.h"

#include <algorithm>
#include <map>
#include <new>
#include <numeric>
#include <vector>

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
bool open_pair(const JsonValue& a, const JsonValue& b, std::vector<ComparedPair>& open) {
    if (a.kind() == JsonKind::array) {
        std::span<const JsonValue> left = a.as_array();
        std::span<const JsonValue> right = b.as_array();
        if (left.size() != right.size()) return false;
        if (!left.empty())
            open.push_back({left.data(), left.data() + left.size(), right.data(), false});
        return true;
    }
    const JsonObject& left = a.as_object();
    const JsonObject& right = b.as_object();
    if (left.size() != right.size()) return false;
    if (left.size() != 0) open.push_back({left.begin(), left.end(), &right, true});
    return true;
}

// Two containers of the same kind, compared level by level on an explicit stack; the comparison
// stops at the first unequal pair.
bool containers_equal(const JsonValue& a, const JsonValue& b) {
    std::vector<ComparedPair> open;
    if (!open_pair(a, b, open)) return false;
    while (!open.empty()) {
        ComparedPair& top = open.back();
        if (top.left_next == top.left_end) {
            open.pop_back();
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
    auto* object = new (arena.allocate(sizeof(JsonObject), alignof(JsonObject))) JsonObject();
    if (capacity == 0) return object;
    object->members_ = arena.allocate_array<JsonMember>(capacity);
    object->by_name_ = arena.allocate_array<std::size_t>(capacity);
    return object;
}

JsonObject* JsonObject::from_members(memory::Arena& arena, std::span<const JsonMember> members) {
    JsonObject* object = with_capacity(arena, members.size());
    std::map<std::string_view, std::size_t> position_of;
    for (const JsonMember& member : members) {
        const auto [place, added] = position_of.try_emplace(member.name, object->size_);
        if (added) {
            new (&object->members_[object->size_++]) JsonMember(member);
        } else {
            object->members_[place->second].value = member.value;
        }
    }
    object->sort_by_name();
    return object;
}

JsonObject* JsonObject::from_distinct_members(memory::Arena& arena,
                                              std::span<const JsonMember> members) {
    JsonObject* object = with_capacity(arena, members.size());
    for (const JsonMember& member : members)
        new (&object->members_[object->size_++]) JsonMember(member);
    object->sort_by_name();
    return object;
}

void JsonObject::sort_by_name() {
    std::span<std::size_t> positions(by_name_, size_);
    std::iota(positions.begin(), positions.end(), std::size_t{0});
    std::sort(positions.begin(), positions.end(),
              [this](std::size_t a, std::size_t b) { return members_[a].name < members_[b].name; });
}

const JsonValue* JsonObject::find(std::string_view name) const {
    std::span<const std::size_t> positions(by_name_, size_);
    const auto at = std::lower_bound(positions.begin(), positions.end(), name,
                                     [this](std::size_t position, std::string_view wanted) {
                                         return members_[position].name < wanted;
                                     });
    if (at == positions.end() || members_[*at].name != name) return nullptr;
    return &members_[*at].value;
}

}  // namespace vantor::json
