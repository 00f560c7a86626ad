#pragma once
// A payload read onto a tape: the walk (tape/tape_reader.h) with the token builder
// (tape/tape_builder.h) whose variant the payload's size and the tape's limits call for.
#include "tape/tape.h"
#include "tape/tape_builder.h"
#include "tape/tape_limits.h"
#include "tape/tape_reader.h"
#include "tape/walk_protocols.h"
#include "text/padded_text.h"

namespace vantor::tape {

// Reads the payload onto the tape, handing its rows' member names to `rows`; false when the
// payload is refused.
template <RowObserver Rows>
bool read_tape(text::PaddedText input, Tape& tape, Rows& rows) {
    tape.set_payload(input);
    if (needs_far_texts(input.size(), tape.limits())) {
        return walk_tokens<TapeBuilder<true>>(input, rows, tape);
    }
    return walk_tokens<TapeBuilder<false>>(input, rows, tape);
}

}  // namespace vantor::tape
