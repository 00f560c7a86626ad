#pragma once
// The fast reader: a payload read onto a tape in one forward pass with an explicit stack.
//
// It accepts only what the exact reader (reader.h) accepts and yields the same values, but it
// reports no errors: on any text the exact reader would refuse, and on the rare forms it leaves
// to the exact path (nesting at the limit, objects inside rows with repeated or very many keys,
// payloads of 4 GiB or more), it gives up and the caller reads the payload again with the
// exact reader, which produces the result or the message.
#include <string_view>

#include "json/tape.h"

namespace vantor::json {

// Reads `input` (a top-level array) onto `tape`, which must be empty. Cell 0 is the top-level
// array. Returns false when the payload is left to the exact reader.
bool read_tape(std::string_view input, Tape& tape);

}  // namespace vantor::json
