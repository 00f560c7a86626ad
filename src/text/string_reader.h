#pragma once
// The string reader: one string token of the payload, escapes decoded and UTF-8 checked.
#include <string>
#include <string_view>

#include "memory/arena.h"
#include "text/read_error.h"

namespace vantor::text {

// Reads the string whose opening quote is just before `cursor` and advances `cursor` past the
// closing quote. A string without escapes comes back as a view into the input; one with escapes
// is assembled in `scratch` (cleared first, reused between strings) and copied into `arena`.
// On failure returns false with `error` set; positions are byte indexes from `input_begin`.
bool read_string(const unsigned char* input_begin, const unsigned char*& cursor,
                 const unsigned char* end, std::string& scratch, memory::Arena& arena,
                 std::string_view& out, ReadError& error);

}  // namespace vantor::text
