#include "oracle/value_reader.h"

#include <memory>
#include <vector>

#include "json/exact_reader.h"

namespace vantor::json {
namespace {

// Builds the values the reader reads: elements and members wait on shared stacks until their
// container closes, and are then copied into the arena at their exact count. Objects take the
// rule for repeated names (the position of the first, the value of the last).
class ValueBuilder {
  public:
    explicit ValueBuilder(memory::Arena& arena) : arena_(arena) {}

    void value(const Token& token) { add(to_value(token)); }
    void open(bool object) { open_.push_back({object ? members_.size() : values_.size(), object}); }
    // The member waits on top of the member stack for its value.
    void key(std::string_view name) { members_.push_back({name, JsonValue()}); }
    void close(bool object) {
        const std::size_t base = open_.back().base;
        open_.pop_back();
        const JsonValue value = object ? close_object(base) : close_array(base);
        if (open_.empty()) {
            document_ = value;
        } else {
            add(value);
        }
    }

    const JsonValue& document() const { return document_; }

  private:
    static JsonValue to_value(const Token& token) {
        switch (token.kind) {
            case Token::Kind::boolean:
                return JsonValue::boolean(token.boolean);
            case Token::Kind::number:
                return JsonValue::number(token.number);
            case Token::Kind::string:
                return JsonValue::string(token.string);
            case Token::Kind::null:
            case Token::Kind::object:
                break;
        }
        return JsonValue::null();
    }

    // A value read whole goes to the innermost open container: its next element, or the value
    // of its member waiting on top of the member stack.
    void add(JsonValue value) {
        if (open_.back().object) {
            members_.back().value = value;
        } else {
            values_.push_back(value);
        }
    }

    JsonValue close_array(std::size_t base) {
        const std::size_t count = values_.size() - base;
        JsonValue* items = nullptr;
        if (count != 0) {
            items = arena_.allocate_array<JsonValue>(count);
            std::uninitialized_copy(values_.begin() + static_cast<std::ptrdiff_t>(base),
                                    values_.end(), items);
            values_.resize(base);
        }
        return JsonValue::array({items, count});
    }

    JsonValue close_object(std::size_t base) {
        std::span<const JsonMember> members(members_.data() + base, members_.size() - base);
        JsonValue object = JsonValue::object(JsonObject::from_members(arena_, members));
        members_.resize(base);
        return object;
    }

    struct Open {
        std::size_t base;  // where its elements (values_) or members (members_) start
        bool object;
    };
    memory::Arena& arena_;
    std::vector<Open> open_;
    std::vector<JsonValue> values_;
    std::vector<JsonMember> members_;
    JsonValue document_;
};

}  // namespace

std::size_t reader_arena_first_block(std::size_t payload_bytes) {
    constexpr std::size_t kMinimum = 4096;
    constexpr std::size_t kMaximum = std::size_t{1} << 30;
    std::size_t estimate = payload_bytes * 2;
    if (estimate < kMinimum) return kMinimum;
    return estimate > kMaximum ? kMaximum : estimate;
}

ReadResult read_payload(std::string_view input, memory::Arena& arena) {
    ValueBuilder builder(arena);
    ExactReader<ValueBuilder> reader(input, arena, builder);
    ReadResult result;
    if (reader.read()) {
        result.rows = builder.document().as_array();
        return result;
    }
    result.error = refusal_message(input, reader);
    return result;
}

}  // namespace vantor::json
