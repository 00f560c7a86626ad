#include "json/value.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace vantor::json {

double JsonNumber::to_binary64() const {
    switch (variant_) {
        case Variant::unsigned_integer:
            return static_cast<double>(unsigned_);
        case Variant::signed_integer:
            return static_cast<double>(signed_);
        case Variant::float64:
            break;
    }
    return float_;
}

bool operator==(const JsonNumber& a, const JsonNumber& b) {
    if (a.variant_ != b.variant_) return false;
    switch (a.variant_) {
        case JsonNumber::Variant::unsigned_integer:
            return a.unsigned_ == b.unsigned_;
        case JsonNumber::Variant::signed_integer:
            return a.signed_ == b.signed_;
        case JsonNumber::Variant::float64:
            break;
    }
    return a.float_ == b.float_;
}

bool operator==(const JsonValue& a, const JsonValue& b) {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
        case JsonKind::null:
            return true;
        case JsonKind::boolean:
            return a.as_boolean() == b.as_boolean();
        case JsonKind::number:
            return a.as_number() == b.as_number();
        case JsonKind::string:
            return a.as_string() == b.as_string();
        case JsonKind::array: {
            auto left = a.as_array();
            auto right = b.as_array();
            if (left.size() != right.size()) return false;
            for (std::size_t i = 0; i < left.size(); ++i) {
                if (!(left[i] == right[i])) return false;
            }
            return true;
        }
        case JsonKind::object: {
            const JsonObject& left = a.as_object();
            const JsonObject& right = b.as_object();
            if (left.size() != right.size()) return false;
            for (const JsonMember& member : left) {
                const JsonValue* other = right.find(member.name);
                if (other == nullptr || !(member.value == *other)) return false;
            }
            return true;
        }
    }
    return false;
}

namespace {

std::size_t slot_count_for(std::size_t members) {
    std::size_t count = 16;
    while (count < members * 2) {
        if (count > std::numeric_limits<std::size_t>::max() / 2) throw std::bad_alloc();
        count *= 2;
    }
    return count;
}

}  // namespace

JsonObject* JsonObject::with_capacity(Arena& arena, std::size_t capacity) {
    auto* object = new (arena.allocate(sizeof(JsonObject), alignof(JsonObject))) JsonObject(arena);
    if (capacity == 0) return object;
    if (capacity >= std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("object has too many members");
    }
    object->members_ = arena.allocate_array<JsonMember>(capacity);
    object->capacity_ = capacity;
    return object;
}

JsonObject* JsonObject::from_members(Arena& arena, std::span<const JsonMember> members) {
    JsonObject* object = with_capacity(arena, members.size());
    // Sized for every member up front, so the index never grows while the members go in.
    if (members.size() > linear_search_limit) object->allocate_index(members.size());
    for (const JsonMember& member : members) {
        Place place = object->locate(member.name);
        if (place.position < object->size_) {
            object->members_[place.position].value = member.value;
        } else {
            object->append(place, member.name, member.value);
        }
    }
    return object;
}

JsonObject* JsonObject::from_distinct_members(Arena& arena, std::span<const JsonMember> members) {
    JsonObject* object = with_capacity(arena, members.size());
    if (!members.empty()) {
        std::memcpy(static_cast<void*>(object->members_), members.data(),
                    members.size() * sizeof(JsonMember));
    }
    object->size_ = members.size();
    return object;
}

JsonObject::Place JsonObject::locate(std::string_view name) const {
    if (slots_ == nullptr && size_ > linear_search_limit) rebuild_index();
    if (slots_ == nullptr) {
        for (std::size_t i = 0; i < size_; ++i) {
            if (same_name(members_[i].name, name)) return {i, 0, 0};
        }
        return {size_, 0, 0};
    }
    auto hash = static_cast<std::uint32_t>(siphash13(keys_, name));
    std::uint64_t tag = std::uint64_t{hash} << 32;
    std::size_t slot = hash & slot_mask_;
    while (std::uint64_t entry = slots_[slot]) {
        if ((entry & 0xffffffff00000000ULL) == tag) {
            std::size_t position = static_cast<std::uint32_t>(entry) - 1;
            if (same_name(members_[position].name, name)) return {position, slot, tag};
        }
        slot = (slot + 1) & slot_mask_;
    }
    return {size_, slot, tag};
}

const JsonValue* JsonObject::find(std::string_view name) const {
    std::size_t position = locate(name).position;
    return position < size_ ? &members_[position].value : nullptr;
}

std::optional<JsonValue> JsonObject::insert(std::string_view name, JsonValue value) {
    Place place = locate(name);
    if (place.position < size_) {
        JsonValue previous = members_[place.position].value;
        members_[place.position].value = value;
        return previous;
    }
    append(place, name, value);
    return std::nullopt;
}

std::pair<const JsonValue*, bool> JsonObject::try_insert(std::string_view name, JsonValue value) {
    Place place = locate(name);
    if (place.position < size_) return {&members_[place.position].value, false};
    append(place, name, value);
    return {&members_[size_ - 1].value, true};
}

void JsonObject::append(const Place& place, std::string_view name, JsonValue value) {
    if (size_ == capacity_) {
        if (size_ + 1 >= std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("object has too many members");
        }
        std::size_t capacity = capacity_ == 0 ? 4 : capacity_ * 2;
        auto* grown = arena_->allocate_array<JsonMember>(capacity);
        if (size_ != 0)
            std::memcpy(static_cast<void*>(grown), members_, size_ * sizeof(JsonMember));
        members_ = grown;
        capacity_ = capacity;
    }
    new (&members_[size_]) JsonMember{name, value};
    ++size_;
    if (slots_ == nullptr) return;  // built by the next lookup once the object is large
    std::uint64_t entry = place.tag | static_cast<std::uint32_t>(size_);
    if (size_ * 2 <= slot_mask_ + 1) {
        // The empty slot found by locate() is still the right one: nothing moved since.
        slots_[place.slot] = entry;
    } else {
        rebuild_index();  // moves the entries already there, not the new one
        place_entry(entry);
    }
}

void JsonObject::allocate_index(std::size_t members) const {
    std::size_t slots = slot_count_for(members);
    slots_ = arena_->allocate_array<std::uint64_t>(slots);
    std::memset(slots_, 0, slots * sizeof(std::uint64_t));
    slot_mask_ = slots - 1;
    if (keys_.k0 == 0 && keys_.k1 == 0) keys_ = next_hash_keys();
}

void JsonObject::rebuild_index() const {
    // Entries carry their hash, so a growing index moves them without hashing a name again.
    const std::uint64_t* old_slots = slots_;
    std::size_t old_count = old_slots == nullptr ? 0 : slot_mask_ + 1;
    allocate_index(size_);
    if (old_slots != nullptr) {
        for (std::size_t i = 0; i < old_count; ++i) {
            if (old_slots[i] != 0) place_entry(old_slots[i]);
        }
        return;
    }
    for (std::size_t position = 0; position < size_; ++position) {
        auto hash = static_cast<std::uint32_t>(siphash13(keys_, members_[position].name));
        place_entry((std::uint64_t{hash} << 32) | static_cast<std::uint32_t>(position + 1));
    }
}

void JsonObject::place_entry(std::uint64_t entry) const {
    std::size_t slot = static_cast<std::size_t>(entry >> 32) & slot_mask_;
    while (slots_[slot] != 0)
        slot = (slot + 1) & slot_mask_;
    slots_[slot] = entry;
}

JsonValue deep_copy(const JsonValue& value, Arena& arena) {
    switch (value.kind()) {
        case JsonKind::null:
        case JsonKind::boolean:
        case JsonKind::number:
            return value;
        case JsonKind::string:
            return JsonValue::string(arena.copy_string(value.as_string()));
        case JsonKind::array: {
            auto items = value.as_array();
            auto* copies = arena.allocate_array<JsonValue>(items.size());
            for (std::size_t i = 0; i < items.size(); ++i) {
                new (&copies[i]) JsonValue(deep_copy(items[i], arena));
            }
            return JsonValue::array({copies, items.size()});
        }
        case JsonKind::object: {
            const JsonObject& source = value.as_object();
            auto* copy =
                new (arena.allocate(sizeof(JsonObject), alignof(JsonObject))) JsonObject(arena);
            for (const JsonMember& member : source) {
                copy->insert(arena.copy_string(member.name), deep_copy(member.value, arena));
            }
            return JsonValue::object(copy);
        }
    }
    return value;
}

}  // namespace vantor::json
