// The payload reader. One forward pass with no backtracking: every decision is taken on the next
// unread byte, errors are a code and a byte index until they are reported, and nesting is bounded
// by an explicit budget. Open arrays and objects are kept on an explicit stack rather than in
// nested calls, so reading takes the same C stack at any depth.
#include "json/reader.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "hashing/object_names.h"
#include "json/depth_stack.h"
#include "json/type_error_text.h"
#include "text/byte_classes.h"
#include "text/json_limits.h"
#include "text/number_reader.h"
#include "text/read_error.h"
#include "text/string_reader.h"

namespace vantor::json {

namespace {

// The nesting budget (text/json_limits.h) counts down in a byte: the top-level array takes one
// unit, and a container that leaves the budget at 0 is refused, so containers nest at most
// kMaxNestingDepth levels deep.
static_assert(text::kNestingBudget <= 255);

class Reader {
  public:
    Reader(std::string_view input, memory::Arena& arena)
        : begin_(reinterpret_cast<const unsigned char*>(input.data())),
          cursor_(begin_),
          end_(begin_ + input.size()),
          arena_(arena) {}

    // The top-level array's elements, or false with `error_` (or `found_`) set.
    bool read_top_level(std::span<const JsonValue>& rows) {
        skip_whitespace();
        if (cursor_ == end_) return fail_at_end(text::ReadErrorCode::eof_value);
        if (*cursor_ != '[') return read_found_value();
        ++cursor_;
        --budget_;
        JsonValue array;
        if (!read_containers(array)) return false;
        skip_whitespace();
        if (cursor_ != end_) return fail_at_byte(text::ReadErrorCode::trailing_characters);
        rows = array.as_array();
        return true;
    }

    const text::ReadError& error() const { return error_; }
    const JsonValue& found() const { return found_; }

  private:
    void skip_whitespace() {
        while (cursor_ != end_ && text::kWhitespace[*cursor_])
            ++cursor_;
    }

    std::size_t offset(const unsigned char* at) const {
        return static_cast<std::size_t>(at - begin_);
    }

    // What follows a member or an element, for objects and arrays alike: the container's closing
    // byte `close`, or a comma and then, past whitespace, anything but `close` (a trailing comma).
    // At `more`, the cursor is on the next item's first byte.
    enum class AfterItem : std::uint8_t { closed, more, failed };
    AfterItem after_item(unsigned char close, text::ReadErrorCode eof,
                         text::ReadErrorCode expected_comma_or_close) {
        if (cursor_ == end_) {
            fail_at_end(eof);
            return AfterItem::failed;
        }
        if (*cursor_ == close) return AfterItem::closed;
        if (*cursor_ != ',') {
            fail_at_byte(expected_comma_or_close);
            return AfterItem::failed;
        }
        ++cursor_;
        skip_whitespace();
        if (cursor_ == end_) {
            fail_at_end(text::ReadErrorCode::eof_value);
            return AfterItem::failed;
        }
        if (*cursor_ == close) {
            fail_at_byte(text::ReadErrorCode::trailing_comma);
            return AfterItem::failed;
        }
        return AfterItem::more;
    }

    bool fail_at_end(text::ReadErrorCode code) {
        error_ = {code, offset(end_)};
        return false;
    }
    // The byte under the cursor was looked at but not consumed: its 1-based column.
    bool fail_at_byte(text::ReadErrorCode code) {
        error_ = {code, offset(cursor_) + 1};
        return false;
    }

    // A string, number or literal whose first byte is under the cursor; any other byte starts no
    // value here ("expected value"), arrays and objects included.
    bool read_scalar(JsonValue& out) {
        switch (*cursor_) {
            case '"':
                return read_string_value(out);
            case 't':
                return read_literal("true", JsonValue::boolean(true), out);
            case 'f':
                return read_literal("false", JsonValue::boolean(false), out);
            case 'n':
                return read_literal("null", JsonValue::null(), out);
            case '-':
            case '0':
            case '1':
            case '2':
            case '3':
            case '4':
            case '5':
            case '6':
            case '7':
            case '8':
            case '9':
                return read_number_value(out);
            default:
                return fail_at_byte(text::ReadErrorCode::expected_value);
        }
    }

    // Takes a unit of the nesting budget for the bracket under the cursor and consumes it.
    bool open_container() {
        if (--budget_ == 0) return fail_at_byte(text::ReadErrorCode::recursion_limit_exceeded);
        ++cursor_;
        return true;
    }

    bool read_literal(std::string_view word, JsonValue value, JsonValue& out) {
        ++cursor_;
        for (std::size_t i = 1; i < word.size(); ++i) {
            if (cursor_ == end_) return fail_at_end(text::ReadErrorCode::eof_value);
            if (*cursor_++ != static_cast<unsigned char>(word[i])) {
                error_ = {text::ReadErrorCode::expected_ident, offset(cursor_)};
                return false;
            }
        }
        out = value;
        return true;
    }

    bool read_number_value(JsonValue& out) {
        text::JsonNumber number = text::JsonNumber::from_unsigned(0);
        if (!read_number(begin_, cursor_, end_, number, error_)) return false;
        out = JsonValue::number(number);
        return true;
    }

    bool read_string_value(JsonValue& out) {
        std::string_view text;
        if (!read_string_token(text)) return false;
        out = JsonValue::string(text);
        return true;
    }

    // A string whose opening quote is under the cursor.
    bool read_string_token(std::string_view& text) {
        ++cursor_;
        return read_string(begin_, cursor_, end_, scratch_, arena_, text, error_);
    }

    // What the walk does next in the innermost open container.
    enum class Step : std::uint8_t {
        first,        // just after its bracket
        after_value,  // just after an element or a member's value
        key,          // a member's key, whose opening quote is under the cursor
        value,        // an element, or a member's value after its `:`
    };

    // Reads the array whose `[` has just been consumed (its unit of the budget taken), with
    // everything nested in it. Each open array or object is one entry of `open_`: elements are
    // collected on the shared value stack and members on the shared member stack from its base
    // on, and copied into the arena at their exact count when it closes.
    bool read_containers(JsonValue& out) {
        open_.push({values_.size(), false});
        Step step = Step::first;
        JsonValue value;
        for (;;) {
            OpenContainer& top = open_.top();
            switch (step) {
                case Step::first:
                    skip_whitespace();
                    if (top.object) {
                        if (cursor_ == end_) return fail_at_end(text::ReadErrorCode::eof_object);
                        if (*cursor_ == '}') break;
                        if (*cursor_ != '"')
                            return fail_at_byte(text::ReadErrorCode::key_must_be_string);
                        step = Step::key;
                    } else {
                        if (cursor_ == end_) return fail_at_end(text::ReadErrorCode::eof_list);
                        if (*cursor_ == ']') break;
                        step = Step::value;
                    }
                    continue;
                case Step::after_value: {
                    skip_whitespace();
                    const AfterItem next =
                        top.object ? after_item('}', text::ReadErrorCode::eof_object,
                                                text::ReadErrorCode::expected_object_comma_or_end)
                                   : after_item(']', text::ReadErrorCode::eof_list,
                                                text::ReadErrorCode::expected_list_comma_or_end);
                    if (next == AfterItem::failed) return false;
                    if (next == AfterItem::closed) break;
                    if (top.object) {
                        if (*cursor_ != '"')
                            return fail_at_byte(text::ReadErrorCode::key_must_be_string);
                        step = Step::key;
                    } else {
                        step = Step::value;
                    }
                    continue;
                }
                case Step::key: {
                    std::string_view name;
                    if (!read_string_token(name)) return false;
                    skip_whitespace();
                    if (cursor_ == end_) return fail_at_end(text::ReadErrorCode::eof_object);
                    if (*cursor_ != ':') return fail_at_byte(text::ReadErrorCode::expected_colon);
                    ++cursor_;
                    // The member waits on top of the member stack for its value.
                    members_.push_back({name, JsonValue()});
                    step = Step::value;
                    continue;
                }
                case Step::value:
                    skip_whitespace();
                    if (cursor_ == end_) return fail_at_end(text::ReadErrorCode::eof_value);
                    if (*cursor_ == '[' || *cursor_ == '{') {
                        bool object = *cursor_ == '{';
                        if (!open_container()) return false;
                        open_.push({object ? members_.size() : values_.size(), object});
                        step = Step::first;
                        continue;
                    }
                    if (!read_scalar(value)) return false;
                    add_to_innermost(value);
                    step = Step::after_value;
                    continue;
            }
            // The closing bracket of the innermost container is under the cursor.
            ++cursor_;
            value = top.object ? close_object(top.base) : close_array(top.base);
            open_.pop();
            if (open_.empty()) {
                out = value;
                return true;
            }
            ++budget_;
            add_to_innermost(value);
            step = Step::after_value;
        }
    }

    // Adds a value that has been read whole to the innermost open container: as its next
    // element, or as the value of its member waiting on top of the member stack.
    void add_to_innermost(JsonValue value) {
        if (open_.top().object) {
            members_.back().value = value;
        } else {
            values_.push_back(value);
        }
    }

    JsonValue close_array(std::size_t base) {
        std::size_t count = values_.size() - base;
        JsonValue* items = nullptr;
        if (count != 0) {
            items = arena_.allocate_array<JsonValue>(count);
            std::uninitialized_copy(values_.begin() + static_cast<std::ptrdiff_t>(base),
                                    values_.end(), items);
            values_.resize(base);
        }
        return JsonValue::array({items, count});
    }

    // The object applies the rule for repeated keys (position of the first, value of the last).
    JsonValue close_object(std::size_t base) {
        std::span<const JsonMember> members(members_.data() + base, members_.size() - base);
        JsonValue object = JsonValue::object(make_object(members));
        members_.resize(base);
        return object;
    }

    // An object whose names are exactly those of the last object read at its depth
    // (hashing/object_names.h) needs neither a duplicate check nor, if large, a name index until
    // someone looks a name up.
    JsonObject* make_object(std::span<const JsonMember> members) {
        if (members.size() < 2) return JsonObject::from_distinct_members(arena_, members);
        std::vector<std::string_view>& last_keys =
            last_distinct_keys_[text::kNestingBudget - budget_];
        if (members.size() == last_keys.size()) {
            struct Walk {
                std::span<const JsonMember> members;
                std::size_t at = 0;
                bool done() const { return at == members.size(); }
                std::string_view name() const { return members[at].name; }
                void next() { ++at; }
            } walk{members};
            if (hashing::names_repeating(last_keys, walk) == members.size()) {
                return JsonObject::from_distinct_members(arena_, members);
            }
        }
        JsonObject* object = JsonObject::from_members(arena_, members);
        last_keys.clear();
        for (const JsonMember& member : *object)
            last_keys.push_back(member.name);
        return object;
    }

    // The top-level value is not an array: read its first token only and keep it for the type
    // error, unless the token itself is malformed.
    bool read_found_value() {
        if (*cursor_ == '{') {
            // Not consumed: the error names the brace itself.
            found_ = JsonValue::object(nullptr);
        } else if (!read_scalar(found_)) {
            // A malformed token, or a byte that starts no value, is reported as such.
            return false;
        }
        error_ = {text::ReadErrorCode::invalid_type, offset(cursor_)};
        return false;
    }

    const unsigned char* begin_;
    const unsigned char* cursor_;
    const unsigned char* end_;
    memory::Arena& arena_;
    std::uint8_t budget_ = text::kNestingBudget;
    // An open array or object: where its elements (on `values_`) or members (on `members_`)
    // begin.
    struct OpenContainer {
        std::size_t base;
        bool object;
    };
    DepthStack<OpenContainer> open_;
    text::ReadError error_;
    JsonValue found_;
    std::vector<JsonValue> values_;
    std::vector<JsonMember> members_;
    // Per depth, the distinct keys of the last object read there, in order.
    std::array<std::vector<std::string_view>, text::kNestingBudget> last_distinct_keys_;
    std::string scratch_;
};

}  // namespace

std::size_t reader_arena_first_block(std::size_t payload_bytes) {
    // Parsed rows take roughly two to three times their text (value handles, member tables and
    // name indexes); the arena doubles from here if that is not enough.
    constexpr std::size_t kMinimum = 4096;
    constexpr std::size_t kMaximum = std::size_t{1} << 30;
    std::size_t estimate = payload_bytes * 2;
    if (estimate < kMinimum) return kMinimum;
    return estimate > kMaximum ? kMaximum : estimate;
}

ReadResult read_payload(std::string_view input, memory::Arena& arena) {
    Reader reader(input, arena);
    ReadResult result;
    if (reader.read_top_level(result.rows)) return result;
    const text::ReadError& error = reader.error();
    if (error.code == text::ReadErrorCode::invalid_type) {
        result.error = text::format_read_error(input, invalid_type_description(reader.found()),
                                               error.position);
    } else {
        result.error = text::format_read_error(input, text::read_error_description(error.code),
                                               error.position);
    }
    result.rows = {};
    return result;
}

}  // namespace vantor::json
