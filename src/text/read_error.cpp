#include "text/read_error.h"

#include <cstring>

namespace vantor::text {

// The descriptions are fixed by the caller's contract, word for word, and pinned by
// tests/cpp/reader_errors_test.cpp.
std::string_view read_error_description(ReadErrorCode code) {
    switch (code) {
        case ReadErrorCode::none:
        case ReadErrorCode::invalid_type:
            break;
        case ReadErrorCode::eof_list:
            return "EOF while parsing a list";
        case ReadErrorCode::eof_object:
            return "EOF while parsing an object";
        case ReadErrorCode::eof_string:
            return "EOF while parsing a string";
        case ReadErrorCode::eof_value:
            return "EOF while parsing a value";
        case ReadErrorCode::expected_colon:
            return "expected `:`";
        case ReadErrorCode::expected_list_comma_or_end:
            return "expected `,` or `]`";
        case ReadErrorCode::expected_object_comma_or_end:
            return "expected `,` or `}`";
        case ReadErrorCode::expected_ident:
            return "expected ident";
        case ReadErrorCode::expected_value:
            return "expected value";
        case ReadErrorCode::invalid_escape:
            return "invalid escape";
        case ReadErrorCode::invalid_number:
            return "invalid number";
        case ReadErrorCode::number_out_of_range:
            return "number out of range";
        case ReadErrorCode::invalid_unicode_code_point:
            return "invalid unicode code point";
        case ReadErrorCode::control_character:
            return "control character (\\u0000-\\u001F) found while parsing a string";
        case ReadErrorCode::key_must_be_string:
            return "key must be a string";
        case ReadErrorCode::lone_leading_surrogate:
            return "lone leading surrogate in hex escape";
        case ReadErrorCode::trailing_comma:
            return "trailing comma";
        case ReadErrorCode::trailing_characters:
            return "trailing characters";
        case ReadErrorCode::unexpected_end_of_hex_escape:
            return "unexpected end of hex escape";
        case ReadErrorCode::recursion_limit_exceeded:
            return "recursion limit exceeded";
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
    text += " at line ";
    text += std::to_string(where.line);
    text += " column ";
    text += std::to_string(where.column);
    return text;
}

}  // namespace vantor::text
