// The transform: the payload walked onto a tape (tape/read_tape.h) with the column index as the
// walk's row observer (transform/column_index.h), each column's fate chosen, the result written
// (transform/result_writer.h) into one allocation whose size and home are chosen here; a payload
// the walk refuses is read again by the exact reader, for its message. Where a call's memory comes
// from is the call plan's (transform/call_plan.h).
#include "transform/columnarize.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "json/reader.h"
#include "memory/byte_buffer.h"
#include "memory/scratch_area.h"
#include "tape/read_tape.h"
#include "tape/tape.h"
#include "tape/tape_limits.h"
#include "tape/tape_writer.h"
#include "text/error_texts.h"
#include "transform/call_plan.h"
#include "transform/column_index.h"
#include "transform/result_writer.h"

namespace vantor::transform {
namespace {

using memory::ByteBuffer;

// The failure texts, from the core's catalogue.
using text::error_texts::kInvalidPayloadPrefix;
using text::error_texts::kNonObjectRowPrefix;

// One call's transform: the tape, the column index that observes the walk, and the call's block
// their tables come from.
class Columnarizer {
  public:
    // The tables come from `call_block` while it has room, and so does the result when
    // `result_in_block` (the caller keeps the block until the result is used).
    Columnarizer(std::size_t payload_size, const tape::TapeLimits& limits,
                 memory::ScratchArea& call_block, bool result_in_block)
        : block_(&call_block),
          result_in_block_(result_in_block),
          tape_(block_, limits),
          columns_(payload_size, tape_, block_) {}

    TransformOutcome run(text::PaddedText payload) {
        const CallPlan plan(payload.size());
        tape_.reserve_more(plan.cells < tape_.limits().cells ? plan.cells : tape_.limits().cells);
        tape_.reserve_extents(plan.extents);
        if (!tape::read_tape(payload, tape_, columns_)) return refusal(payload.view());
        if (columns_.non_object_row_cell() != kNoCell) return non_object_failure();
        columns_.choose_columns();
        // A small result of a call that made no table in the block (an empty array) is not worth
        // allocating the block for: the C library keeps such small pieces at hand.
        const std::size_t bound = result_bound(tape_, columns_);
        const bool in_block = result_in_block_ && (block_->allocated() || bound > kSmallResult);
        TransformOutcome outcome{TransformOutcome::Kind::result,
                                 ByteBuffer(in_block ? block_ : nullptr, bound)};
        write_result(tape_, columns_, outcome.text);
        return outcome;
    }

  private:
    // The refused payload's failure, the exact reader's explanation of it.
    static TransformOutcome refusal(std::string_view payload) {
        const std::string message = json::explain_refusal(payload);
        // The two readers accept the same payloads; the fuzz targets hold them to it.
        if (message.empty()) throw std::logic_error("the tape reader refused an accepted payload");
        return failure(kInvalidPayloadPrefix, message);
    }

    // The message is allocated once, with room for the element's text.
    TransformOutcome non_object_failure() const {
        const std::uint32_t element = columns_.non_object_row_cell();
        TransformOutcome outcome{
            TransformOutcome::Kind::failure,
            ByteBuffer(kNonObjectRowPrefix.size() + tape::tape_value_bound(tape_, element) +
                       tape::kTapeWriteSlack)};
        outcome.text.append(kNonObjectRowPrefix);
        tape::write_tape_value(tape_, element, outcome.text);
        return outcome;
    }

    static TransformOutcome failure(std::string_view prefix, std::string_view detail) {
        TransformOutcome outcome{TransformOutcome::Kind::failure,
                                 ByteBuffer(prefix.size() + detail.size())};
        outcome.text.append(prefix);
        outcome.text.append(detail);
        return outcome;
    }

    static constexpr std::size_t kSmallResult = 1024;

    memory::ScratchArea* block_;  // the call's block
    bool result_in_block_;
    tape::Tape tape_;
    ColumnIndex columns_;
};

}  // namespace

std::size_t call_block_bytes(std::size_t payload_size) {
    return CallPlan(payload_size).block_bytes;
}

TransformOutcome columnarize(text::PaddedText payload) {
    return columnarize(payload, tape::TapeLimits());
}

TransformOutcome columnarize(text::PaddedText payload, memory::ScratchArea& call_block) {
    Columnarizer transform(payload.size(), tape::TapeLimits(), call_block,
                           /*result_in_block=*/true);
    return transform.run(payload);
}

// Without a block from the caller the tables have one of their own, and the result, which
// outlives it, memory of its own.
TransformOutcome columnarize(text::PaddedText payload, const tape::TapeLimits& limits) {
    memory::ScratchArea tables(CallPlan(payload.size()).block_bytes);
    Columnarizer transform(payload.size(), limits, tables, /*result_in_block=*/false);
    return transform.run(payload);
}

}  // namespace vantor::transform
