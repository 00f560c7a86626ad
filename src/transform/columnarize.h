#pragma once
// The columnar transform: a JSON array of row objects to one compact document with the members
// "columns", "rows" and "constants". Pure C++: it knows nothing of Python.
#include <optional>
#include <string_view>
#include <utility>

#include "memory/byte_buffer.h"
#include "memory/padded_copy.h"
#include "text/padded_text.h"

namespace vantor::transform {

struct TransformOutcome {
    enum class Kind { result, failure };
    Kind kind;
    // The result document's bytes, or the failure message (UTF-8) for Kind::failure.
    memory::ByteBuffer text;
};

// The exact path alone: the value model's reader, transform and writer. columnarize gives
// the same outcome for every payload; it takes this path where its fast path gives up.
TransformOutcome columnarize_exact(std::string_view payload);

// The fast path alone: its outcome, or nothing when it leaves the payload to the exact path.
// It never gives a failure: every refused payload is left to the exact path for its message.
std::optional<TransformOutcome> columnarize_fast(text::PaddedText payload);

// The transform. Failures ("invalid row-oriented JSON: ..." and "expected a JSON object row, got:
// ...") are returned as values; only running out of memory (std::bad_alloc) or an internal fault
// throws. The fast transform (fast_transform.cpp) takes what it can, and the exact transform
// (exact_transform.cpp) everything it leaves, refused payloads included, so that every failure
// message comes from one place.
inline TransformOutcome columnarize(text::PaddedText payload) {
    if (std::optional<TransformOutcome> outcome = columnarize_fast(payload)) {
        return std::move(*outcome);
    }
    return columnarize_exact(payload.view());
}

// The same for a payload without padding, which is copied first (the binding's one copy of the
// payload is made padded, and calls the form above).
inline std::optional<TransformOutcome> columnarize_fast(std::string_view payload) {
    const memory::PaddedCopy copy(payload);
    return columnarize_fast(copy.text());
}
inline TransformOutcome columnarize(std::string_view payload) {
    const memory::PaddedCopy copy(payload);
    return columnarize(copy.text());
}

}  // namespace vantor::transform
