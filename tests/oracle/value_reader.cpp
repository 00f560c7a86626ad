#include "oracle/value_reader.h"

#include <memory>
#include <stdexcept>
#include <vector>

#include "json/exact_reader.h"
#include "oracle/string_text.h"

namespace vantor::json {
namespace {

// Builds the values the reader reads: elements and members wait on shared stacks until their
// container closes, and are then copied into the arena at their exact count. Objects take the
// rule for repeated names (the position of the first, the value of the last).
//
// Strings are decoded here, from the payload's own text, rather than taken as the grammar's
// string reader decoded them: the reference must not share the decoder it checks. The grammar
// hands over each string it accepts in payload order, and between two string tokens there is no
// quotation mark, so the next token's text starts at the next quotation mark after the last one.
class ValueBuilder {
  public:
    ValueBuilder(std::string_view input, memory::Arena& arena) : input_(input), arena_(arena) {}

    void value(const Token& token) {
        add(token.kind == Token::Kind::string ? JsonValue::string(next_string()) : to_value(token));
    }
    void open(bool object) { open_.push_back({object ? members_.size() : values_.size(), object}); }
    // The member waits on top of the member stack for its value.
    void key(std::string_view) { members_.push_back({next_string(), JsonValue()}); }
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
    // The next string token of the payload, decoded: a view of the payload when it holds no
    // escape, otherwise a copy in the arena.
    std::string_view next_string() {
        const std::size_t open = input_.find('"', string_search_from_);
        std::size_t close = open + 1;
        while (input_[close] != '"')
            close += input_[close] == '\\' ? 2 : 1;
        string_search_from_ = close + 1;
        const std::string_view raw = input_.substr(open + 1, close - open - 1);
        if (raw.find('\\') == std::string_view::npos) return raw;
        const std::optional<std::string> decoded = oracle::decode_string_text(raw);
        if (!decoded)
            throw std::logic_error("the reference cannot decode a string the grammar took");
        char* copy = arena_.allocate_array<char>(decoded->size());
        decoded->copy(copy, decoded->size());
        return {copy, decoded->size()};
    }

    static JsonValue to_value(const Token& token) {
        switch (token.kind) {
            case Token::Kind::boolean:
                return JsonValue::boolean(token.boolean);
            case Token::Kind::number:
                return JsonValue::number(token.number);
            case Token::Kind::string:
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
    std::string_view input_;
    std::size_t string_search_from_ = 0;
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
    ValueBuilder builder(input, arena);
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
