#pragma once
// Writing values from a tape: the same compact text as write_json writes for the same values,
// formed straight in the output with one capacity check per value.
#include <cstddef>
#include <cstdint>

#include "json/byte_buffer.h"
#include "json/tape.h"

namespace vantor::json {

// Bytes the writers may touch beyond a value's bound (float texts are formed in a wider scratch
// area, escapes are copied eight bytes at a time).
inline constexpr std::size_t tape_write_slack = 64;

// An upper bound of the length of the text of the value at `index`. A container's text is at most
// its payload text (whitespace goes, escapes never grow) plus a float text's length per cell.
std::size_t tape_value_bound(const Cell* cells, std::uint32_t index);

// Appends the text of the value at `index`.
void write_tape_value(const Cell* cells, std::uint32_t index, ByteBuffer& out);

// Appends the text of a string cell (a member name).
void write_tape_string(const Cell& cell, ByteBuffer& out);

}  // namespace vantor::json
