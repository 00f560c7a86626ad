#pragma once
// The exact reader: the payload's grammar under exact rules, with every error a code and a byte
// index until it is reported. One forward pass with no backtracking: every decision is taken on
// the next unread byte, and nesting is bounded by an explicit budget. Open arrays and objects are
// kept on an explicit stack rather than in nested calls, so reading takes the same C stack at any
// depth.
//
// It is written for plainness, not speed: the tape reader (tape/tape_reader.h) reads every
// payload, and this reader runs only on a payload that one refused, to say why (reader.h). What
// becomes of the values it reads is its visitor's business, so the same grammar also builds the
// value model of the tests' reference transform:
//     void value(const Token& token);    a string, number or literal
//     void open(bool object);            an array or object opens
//     void key(std::string_view name);   an object member's name, before its value
//     void close(bool object);           the innermost array or object closes
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/depth_stack.h"
#include "json/token.h"
#include "json/type_error_text.h"
#include "memory/arena.h"
#include "text/byte_classes.h"
#include "text/json_limits.h"
#include "text/number_reader.h"
#include "text/read_error.h"
#include "text/string_reader.h"

namespace vantor::json {

// The nesting budget (text/json_limits.h) counts down in a byte: the top-level array takes one
// unit, and a container that leaves the budget at 0 is refused, so containers nest at most
// kMaxNestingDepth levels deep.
static_assert(text::kNestingBudget <= 255);

template <class Visitor>
class ExactReader {
  public:
    // Decoded strings are stored in `arena`, which must outlive what the visitor keeps of them.
    ExactReader(std::string_view input, memory::Arena& arena, Visitor& visitor)
        : begin_(reinterpret_cast<const unsigned char*>(input.data())),
          cursor_(begin_),
          end_(begin_ + input.size()),
          arena_(arena),
          visitor_(visitor) {}

    // Reads the payload, whose top-level value must be an array; false with error() set (and
    // found() for a top-level value of another type) when it is refused.
    bool read() {
        skip_whitespace();
        if (cursor_ == end_) return fail_at_end(text::ReadErrorCode::eof_value);
        if (*cursor_ != '[') return read_found_value();
        ++cursor_;
        --budget_;
        if (!read_containers()) return false;
        skip_whitespace();
        if (cursor_ != end_) return fail_at_byte(text::ReadErrorCode::trailing_characters);
        return true;
    }

    const text::ReadError& error() const { return error_; }
    const Token& found() const { return found_; }

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
    bool read_scalar(Token& out) {
        switch (*cursor_) {
            case '"':
                out.kind = Token::Kind::string;
                return read_string_token(out.string);
            case 't':
                return read_literal("true", Token::boolean_token(true), out);
            case 'f':
                return read_literal("false", Token::boolean_token(false), out);
            case 'n':
                return read_literal("null", Token{}, out);
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
                out.kind = Token::Kind::number;
                return read_number(begin_, cursor_, end_, out.number, error_);
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

    bool read_literal(std::string_view word, Token token, Token& out) {
        ++cursor_;
        for (std::size_t i = 1; i < word.size(); ++i) {
            if (cursor_ == end_) return fail_at_end(text::ReadErrorCode::eof_value);
            if (*cursor_++ != static_cast<unsigned char>(word[i])) {
                error_ = {text::ReadErrorCode::expected_ident, offset(cursor_)};
                return false;
            }
        }
        out = token;
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
    // everything nested in it. Each open array or object is one entry of `open_`.
    bool read_containers() {
        open_.push({false});
        visitor_.open(false);
        Step step = Step::first;
        Token token;
        for (;;) {
            const bool object = open_.top().object;
            switch (step) {
                case Step::first:
                    skip_whitespace();
                    if (object) {
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
                        object ? after_item('}', text::ReadErrorCode::eof_object,
                                            text::ReadErrorCode::expected_object_comma_or_end)
                               : after_item(']', text::ReadErrorCode::eof_list,
                                            text::ReadErrorCode::expected_list_comma_or_end);
                    if (next == AfterItem::failed) return false;
                    if (next == AfterItem::closed) break;
                    if (object) {
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
                    visitor_.key(name);
                    step = Step::value;
                    continue;
                }
                case Step::value:
                    skip_whitespace();
                    if (cursor_ == end_) return fail_at_end(text::ReadErrorCode::eof_value);
                    if (*cursor_ == '[' || *cursor_ == '{') {
                        const bool opens_object = *cursor_ == '{';
                        if (!open_container()) return false;
                        open_.push({opens_object});
                        visitor_.open(opens_object);
                        step = Step::first;
                        continue;
                    }
                    if (!read_scalar(token)) return false;
                    visitor_.value(token);
                    step = Step::after_value;
                    continue;
            }
            // The closing bracket of the innermost container is under the cursor.
            ++cursor_;
            visitor_.close(object);
            open_.pop();
            if (open_.empty()) return true;
            ++budget_;
            step = Step::after_value;
        }
    }

    // The top-level value is not an array: read its first token only and keep it for the type
    // error, unless the token itself is malformed.
    bool read_found_value() {
        if (*cursor_ == '{') {
            // Not consumed: the error names the brace itself.
            found_.kind = Token::Kind::object;
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
    Visitor& visitor_;
    std::uint8_t budget_ = text::kNestingBudget;
    struct OpenContainer {
        bool object;
    };
    DepthStack<OpenContainer> open_;
    text::ReadError error_;
    Token found_;
    std::string scratch_;
};

// The message for the refusal a reader met: its description, " at line L column C".
template <class Visitor>
std::string refusal_message(std::string_view input, const ExactReader<Visitor>& reader) {
    const text::ReadError& error = reader.error();
    if (error.code == text::ReadErrorCode::invalid_type) {
        return text::format_read_error(input, invalid_type_description(reader.found()),
                                       error.position);
    }
    return text::format_read_error(input, text::read_error_description(error.code), error.position);
}

}  // namespace vantor::json
