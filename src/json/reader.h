#pragma once
// The payload reader: UTF-8 JSON text whose top level must be an array, read into values under
// exact rules, or one error text ending " at line L column C".
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "json/value.h"
#include "memory/arena.h"

namespace vantor::json {

struct ReadResult {
    // On success: the array's elements in document order, stored in the caller's arena (strings
    // without escapes point into `input`, which must outlive them).
    std::span<const JsonValue> rows;
    // On failure: the description followed by " at line L column C"; empty on success.
    std::string error;

    bool ok() const { return error.empty(); }
};

ReadResult read_payload(std::string_view input, memory::Arena& arena);

// A first arena block for reading a payload of `payload_bytes`: large enough that a typical row
// payload needs one or two blocks, small enough that little of it stays unused.
std::size_t reader_arena_first_block(std::size_t payload_bytes);

}  // namespace vantor::json
