#pragma once
// Every text of a failure that the core reports, in one place. The core knows nothing of Python:
// the binding raises these texts unchanged (src/binding/messages.h names the two it receives
// whole). Each is fixed by the caller's contract, word for word, and pinned by the tests
// (tests/cpp/reader_errors_test.cpp, type_error_text_test.cpp, columnarize_test.cpp and
// tests/python/test_transform.py): change one only with the contract, never to tidy it.
//
// A refused payload's text is built from these pieces:
//   kInvalidPayloadPrefix + <description> + kAtLine + L + kAtColumn + C
// where <description> is one reader description below or the type error
//   kInvalidTypePrefix + <found> + kInvalidTypeSuffix.
// A payload whose array holds a non-object is reported as kNonObjectRowPrefix + <element>.
//
// Not here: the explanation that an internal fault carries (a broken invariant, named where it is
// checked), which the binding reports as a fault rather than as a failure of the input.
#include <string_view>

namespace vantor::text::error_texts {

// The transform's failures (transform/columnarize.cpp).

// The payload is not a readable JSON array; the reader's text follows.
inline constexpr std::string_view kInvalidPayloadPrefix = "invalid row-oriented JSON: ";
// An element of the array is not an object; that element's compact JSON text follows.
inline constexpr std::string_view kNonObjectRowPrefix = "expected a JSON object row, got: ";

// The reader's descriptions, one for each ReadErrorCode but `none` and `invalid_type`
// (read_error_description in read_error.cpp).

// The input ends inside an array, an object, a string, or where a value is due.
inline constexpr std::string_view kEofList = "EOF while parsing a list";
inline constexpr std::string_view kEofObject = "EOF while parsing an object";
inline constexpr std::string_view kEofString = "EOF while parsing a string";
inline constexpr std::string_view kEofValue = "EOF while parsing a value";
// A member's name is not followed by a colon.
inline constexpr std::string_view kExpectedColon = "expected `:`";
// An array's element, or an object's member, is followed by neither a comma nor the closing
// bracket.
inline constexpr std::string_view kExpectedListCommaOrEnd = "expected `,` or `]`";
inline constexpr std::string_view kExpectedObjectCommaOrEnd = "expected `,` or `}`";
// A literal (true, false, null) is misspelled after its first letter.
inline constexpr std::string_view kExpectedIdent = "expected ident";
// A byte that starts no value stands where a value is due.
inline constexpr std::string_view kExpectedValue = "expected value";
// A backslash in a string is followed by no escape letter, or a \u escape by a non-hex digit
// among its four.
inline constexpr std::string_view kInvalidEscape = "invalid escape";
// A byte breaks a number's grammar before the number is complete.
inline constexpr std::string_view kInvalidNumber = "invalid number";
// A number's value overflows a double.
inline constexpr std::string_view kNumberOutOfRange = "number out of range";
// A string's raw bytes are not well-formed UTF-8.
inline constexpr std::string_view kInvalidUnicodeCodePoint = "invalid unicode code point";
// A string holds a raw byte below 0x20.
inline constexpr std::string_view kControlCharacter =
    "control character (\\u0000-\\u001F) found while parsing a string";
// An object's member does not begin with a string.
inline constexpr std::string_view kKeyMustBeString = "key must be a string";
// A \u escape is a trailing surrogate alone, or a leading surrogate followed by an escape that is
// not a trailing one.
inline constexpr std::string_view kLoneLeadingSurrogate = "lone leading surrogate in hex escape";
// A comma is followed by the closing bracket of its array or object.
inline constexpr std::string_view kTrailingComma = "trailing comma";
// Something other than whitespace follows the top-level value.
inline constexpr std::string_view kTrailingCharacters = "trailing characters";
// A leading surrogate's \u escape is not followed by another \u.
inline constexpr std::string_view kUnexpectedEndOfHexEscape = "unexpected end of hex escape";
// Arrays and objects are nested deeper than the readers allow (json_limits.h).
inline constexpr std::string_view kRecursionLimitExceeded = "recursion limit exceeded";

// Where a reader's refusal lies, after its description (format_read_error in read_error.cpp):
// " at line L column C".
inline constexpr std::string_view kAtLine = " at line ";
inline constexpr std::string_view kAtColumn = " column ";

// The type error: the top-level value is not an array (json/type_error_text.cpp). <found> is one
// of the names below, with a number's text or a string's quoted form where the name asks for it.
inline constexpr std::string_view kInvalidTypePrefix = "invalid type: ";
inline constexpr std::string_view kInvalidTypeSuffix = ", expected a sequence";
inline constexpr std::string_view kFoundNull = "null";
inline constexpr std::string_view kFoundTrue = "boolean `true`";
inline constexpr std::string_view kFoundFalse = "boolean `false`";
// An integer's or a float's text follows, closed by kFoundNumberEnd.
inline constexpr std::string_view kFoundInteger = "integer `";
inline constexpr std::string_view kFoundFloat = "floating point `";
inline constexpr std::string_view kFoundNumberEnd = "`";
// The string's quoted form follows (quote_found_string).
inline constexpr std::string_view kFoundString = "string ";
// An object, whose content is never read.
inline constexpr std::string_view kFoundObject = "map";

}  // namespace vantor::text::error_texts
