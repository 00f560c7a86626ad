#pragma once
// The reference reader: the exact reader's grammar (json/exact_reader.h) building the value
// model, the reference the tape reader's values are held to.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "memory/arena.h"
#include "oracle/value.h"

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

// A first arena block for reading a payload of `payload_bytes`.
std::size_t reader_arena_first_block(std::size_t payload_bytes);

}  // namespace vantor::json
