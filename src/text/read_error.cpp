#include "text/read_error.h"

#include <cstring>

#include "text/error_texts.h"

namespace vantor::text {

// A switch rather than a table indexed by the code, so that a code added without its text does
// not compile (-Wswitch).
std::string_view read_error_description(ReadErrorCode code) {
    switch (code) {
        case ReadErrorCode::none:
        case ReadErrorCode::invalid_type:
            break;
        case ReadErrorCode::eof_list:
            return error_texts::kEofList;
        case ReadErrorCode::eof_object:
            return error_texts::kEofObject;
        case ReadErrorCode::eof_string:
            return error_texts::kEofString;
        case ReadErrorCode::eof_value:
            return error_texts::kEofValue;
        case ReadErrorCode::expected_colon:
            return error_texts::kExpectedColon;
        case ReadErrorCode::expected_list_comma_or_end:
            return error_texts::kExpectedListCommaOrEnd;
        case ReadErrorCode::expected_object_comma_or_end:
            return error_texts::kExpectedObjectCommaOrEnd;
        case ReadErrorCode::expected_ident:
            return error_texts::kExpectedIdent;
        case ReadErrorCode::expected_value:
            return error_texts::kExpectedValue;
        case ReadErrorCode::invalid_escape:
            return error_texts::kInvalidEscape;
        case ReadErrorCode::invalid_number:
            return error_texts::kInvalidNumber;
        case ReadErrorCode::number_out_of_range:
            return error_texts::kNumberOutOfRange;
        case ReadErrorCode::invalid_unicode_code_point:
            return error_texts::kInvalidUnicodeCodePoint;
        case ReadErrorCode::control_character:
            return error_texts::kControlCharacter;
        case ReadErrorCode::key_must_be_string:
            return error_texts::kKeyMustBeString;
        case ReadErrorCode::lone_leading_surrogate:
            return error_texts::kLoneLeadingSurrogate;
        case ReadErrorCode::trailing_comma:
            return error_texts::kTrailingComma;
        case ReadErrorCode::trailing_characters:
            return error_texts::kTrailingCharacters;
        case ReadErrorCode::unexpected_end_of_hex_escape:
            return error_texts::kUnexpectedEndOfHexEscape;
        case ReadErrorCode::recursion_limit_exceeded:
            return error_texts::kRecursionLimitExceeded;
    }
    return {};
}

TextLocation locate(std::string_view input, std::size_t position) {
    if (position > input.size()) position = input.size();
    std::size_t line = 1;
    std::size_t line_start = 0;
    const char* data = input.data();
    const char* cursor = data;
    const char* end = data + position;
    while (cursor < end) {
        const void* found = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor));
        if (found == nullptr) break;
        cursor = static_cast<const char*>(found) + 1;
        ++line;
        line_start = static_cast<std::size_t>(cursor - data);
    }
    return {line, position - line_start};
}

std::string format_read_error(std::string_view input, std::string_view description,
                              std::size_t position) {
    TextLocation where = locate(input, position);
    std::string text(description);
    text += error_texts::kAtLine;
    text += std::to_string(where.line);
    text += error_texts::kAtColumn;
    text += std::to_string(where.column);
    return text;
}

}  // namespace vantor::text
