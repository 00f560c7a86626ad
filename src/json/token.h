#pragma once
// A scalar as the exact reader reads it: a string, a number with its variant, or a literal; and
// the first token of a top-level value that is not an array, which the type error names.
#include <cstdint>
#include <string_view>

#include "text/json_number.h"

namespace vantor::json {

struct Token {
    // `object` only for a top-level `{`, whose content is never read.
    enum class Kind : std::uint8_t { null, boolean, number, string, object };
    Kind kind = Kind::null;
    bool boolean = false;
    text::JsonNumber number = text::JsonNumber::from_unsigned(0);
    // The decoded text: in the payload when it has no escape, else in the reader's arena.
    std::string_view string;

    static constexpr Token boolean_token(bool value) {
        Token token;
        token.kind = Kind::boolean;
        token.boolean = value;
        return token;
    }
};

}  // namespace vantor::json
