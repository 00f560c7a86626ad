#pragma once
// The reference's writer: the exact compact JSON text of values, with its own string escapes and
// integer digits; only the float text is the system's. Writing cannot fail (other than by running
// out of memory, which throws std::bad_alloc from the buffer).
#include <cstdint>
#include <string_view>

#include "memory/byte_buffer.h"
#include "oracle/value.h"

namespace vantor::json {

// Appends the compact text of `value`: no whitespace anywhere, members in insertion order.
void write_json(const JsonValue& value, memory::ByteBuffer& out);

}  // namespace vantor::json
