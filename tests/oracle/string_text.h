#pragma once
// The reference's own string text, both ways: the decoding of a string token's escapes into
// UTF-8, and the escaped, quoted form the result writes. Written from the rules of JSON text
// directly, byte by byte, so that the tests hold the product's decoder and escaper to something
// that does not share their code.
#include <optional>
#include <string>
#include <string_view>

#include "memory/byte_buffer.h"

namespace vantor::oracle {

// The bytes that `raw`, the text between a string token's quotes, stands for: escapes decoded,
// a surrogate pair as the one code point it names, every code point in UTF-8. Nothing when `raw`
// breaks the rules of escapes (a lone surrogate included); the reader's grammar has refused such
// a token before this is asked.
std::optional<std::string> decode_string_text(std::string_view raw);

// The UTF-8 bytes of `code_point` (at most U+10FFFF, not a surrogate) appended to `out`.
void append_utf8(char32_t code_point, std::string& out);

// Appends `text` quoted: the quotation mark, the backslash and the bytes below 0x20 escaped (the
// short forms \b \t \n \f \r where there is one, otherwise \u00xx in lowercase hexadecimal),
// every other byte as it stands.
void write_quoted(std::string_view text, memory::ByteBuffer& out);

}  // namespace vantor::oracle
