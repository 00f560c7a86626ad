#pragma once
// The columnar transform: a JSON array of row objects to one compact document with the members
// "columns", "rows" and "constants". Pure C++: it knows nothing of Python.
#include <cstddef>
#include <string_view>

#include "memory/byte_buffer.h"
#include "memory/scratch_area.h"
#include "tape/tape_limits.h"
#include "text/padded_text.h"

namespace vantor::transform {

struct TransformOutcome {
    enum class Kind { result, failure };
    Kind kind;
    // The result document's bytes, or the failure message (UTF-8) for Kind::failure.
    memory::ByteBuffer text;
};

// The transform (transform/columnarize.cpp): the payload read onto a tape, its columns found as
// it is read, the result written from the tape. Failures ("invalid row-oriented JSON: ..." and
// "expected a JSON object row, got: ...") are returned as values; only running out of memory
// (std::bad_alloc) or an internal fault throws. A refused payload is read again by the exact
// reader (json/reader.h), which says why.
TransformOutcome columnarize(text::PaddedText payload);

// The same with the call's block (memory/scratch_area.h), which holds the transform's tables
// while they fit and, when it has room for it, the result: the outcome must not outlive it.
TransformOutcome columnarize(text::PaddedText payload, memory::ScratchArea& call_block);

// The size of the call's block for a payload of `payload_size` bytes: room for the payload's
// padded copy (taken first), the tables such a payload usually fills and its result. 0 for
// payloads so large that each table had better take memory of its own, sized to what it fills:
// their address space, not the count of allocations, is what matters then.
std::size_t call_block_bytes(std::size_t payload_size);

// The same with the tape's limits set lower than a payload's size calls for (tape/tape_limits.h),
// so that tests reach, on small payloads, the forms that only huge ones need.
TransformOutcome columnarize(text::PaddedText payload, const tape::TapeLimits& limits);

}  // namespace vantor::transform
