#pragma once
// The text of the reader's type error: what the top-level value was, when it was not an array.
#include <string>
#include <string_view>

#include "json/token.h"

namespace vantor::json {

// "invalid type: <found>, expected a sequence", made of the pieces in text/error_texts.h and
// pinned by tests/cpp/type_error_text_test.cpp, where <found> names the first token of the
// top-level value: boolean `true`, null, integer `42`, floating point `1.5`, string "...", or
// map for an object (whose content is never read, so `found` may be an object without members).
std::string invalid_type_description(const Token& found);

// The quoted form of a string in that text: between double quotes, `"` and `\` escaped with a
// backslash, NUL, TAB, LF and CR as \0 \t \n \r, invisible and unassigned characters as \u{hex},
// everything else as it stands. `text` must be well-formed UTF-8.
std::string quote_found_string(std::string_view text);

}  // namespace vantor::json
