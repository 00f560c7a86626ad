#pragma once
// Reading errors as data: a code and the byte index p that the error names. The description and
// the line and column are produced only when an error is reported, so a successful read pays
// nothing for them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantor::text {

enum class ReadErrorCode : std::uint8_t {
    none,
    eof_list,
    eof_object,
    eof_string,
    eof_value,
    expected_colon,
    expected_list_comma_or_end,
    expected_object_comma_or_end,
    expected_ident,
    expected_value,
    invalid_escape,
    invalid_number,
    number_out_of_range,
    invalid_unicode_code_point,
    control_character,
    key_must_be_string,
    lone_leading_surrogate,
    trailing_comma,
    trailing_characters,
    unexpected_end_of_hex_escape,
    recursion_limit_exceeded,
    invalid_type,  // the description is built from the found value; see json/type_error_text.h
};

struct ReadError {
    ReadErrorCode code = ReadErrorCode::none;
    std::size_t position = 0;  // the byte index p, 0..n
};

// The fixed description of every code but `invalid_type` and `none`, from text/error_texts.h;
// empty for those two.
std::string_view read_error_description(ReadErrorCode code);

struct TextLocation {
    std::size_t line;    // 1 + the LF bytes before p
    std::size_t column;  // bytes since the last LF before p
};

// Line and column of byte index `position` (at most input.size()); only LF starts a line.
TextLocation locate(std::string_view input, std::size_t position);

// `description` followed by " at line L column C".
std::string format_read_error(std::string_view input, std::string_view description,
                              std::size_t position);

}  // namespace vantor::text
