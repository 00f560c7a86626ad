#pragma once
// The compact JSON text of scalars: string literals, floats and integers, written by the
// tape writer and the type error's text. Writing cannot fail (other than by running out of
// memory, which throws std::bad_alloc from the buffer).
#include <cstdint>
#include <string_view>

#include "memory/byte_buffer.h"

namespace vantor::text {

// Writes `text` as a JSON string literal at `out`, which has room for 6 * text.size() + 10
// bytes, and returns the end of what it wrote: `"` and `\` escaped, control bytes as \b \t \n
// \f \r or \u00xx (lowercase hex); every other byte, non-ASCII included, copied as it stands.
char* write_json_string_unchecked(std::string_view text, char* out);

// Appends the float text of a finite binary64 value: the shortest round-trip digits (the nearest
// where several are shortest), positional for 1e-5 <= |x| < 1e16 (always with a fraction, "100.0"),
// scientific otherwise ("1e+16", "9.9e-6"); zero is "0.0" and negative zero "-0.0".
void write_json_float(double value, memory::ByteBuffer& out);

// Appends an integer in decimal.
void write_json_unsigned(std::uint64_t value, memory::ByteBuffer& out);
void write_json_signed(std::int64_t value, memory::ByteBuffer& out);

}  // namespace vantor::text
