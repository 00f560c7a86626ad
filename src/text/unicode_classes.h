#pragma once
// Character classes of the Unicode 17.0 database that the reader needs.

namespace vantor::text {

// True for the characters that the found-value text of the type error writes as \u{...}:
// controls, private use, white space other than U+0020, format (Cf), default-ignorable,
// unassigned (Cn) and grapheme extenders other than U+FF9E and U+FF9F. The table is generated
// by tools/gen_unicode_tables.py.
bool is_escaped_in_found_string(char32_t code_point);

}  // namespace vantor::text
