#pragma once
// What a call sets aside for a payload of n bytes before it has read any of it: the first room
// of each table, guessed from the payload's length alone, and the size of the call's block that
// holds them (memory/scratch_area.h). The guesses fit the rows tool results hold (names and
// values of a few to a few dozen bytes); a payload that needs more grows the table that falls
// short (memory/table_storage.h), and one that needs less leaves pages untouched, which cost
// nothing but address space.
#include <cstddef>
#include <cstdint>

#include "tape/tape.h"
#include "text/padded_text.h"

namespace vantor::transform {

struct CallPlan {
    // Columns taken with the first row.
    static constexpr std::size_t kColumns = 32;
    // Payloads above this size get no block: each table takes memory of its own, as much as it
    // fills, so that a payload of gigabytes needs little address space beyond its copy and its
    // result. Below it a call's block is served again and again by the C library without
    // asking the system (memory/scratch_area.h), which is what small payloads need.
    static constexpr std::size_t kLargestBlockPayload = std::size_t{4} << 20;
    // The bytes of one row's facts (transform/columnarize.cpp).
    static constexpr std::size_t kRowFactsBytes = 8;

    // In a block: about one cell per six payload bytes, one container per thirty-two, one row
    // member per sixteen and one row per sixty-four. Without one, a sixteenth of that: the
    // tables grow to what they fill (by an eighth at a time once large), and a payload of
    // gigabytes of text, which fills next to nothing, asks for next to nothing.
    std::size_t cells;
    std::size_t extents;
    std::size_t members;
    std::size_t rows;
    std::size_t block_bytes;

    explicit CallPlan(std::size_t payload_size)
        : CallPlan(payload_size, payload_size <= kLargestBlockPayload ? 1 : 16) {}

  private:
    // Payloads of up to a few kilobytes take room for as many cells and containers as they can
    // hold (a cell per byte, a container per two), so that their tables never grow in the middle
    // of the walk: a few kilobytes more of a block that is allocated anyway cost less.
    static constexpr std::size_t kSmallPayload = std::size_t{16} << 10;

    CallPlan(std::size_t payload_size, std::size_t shrink)
        : cells(payload_size <= kSmallPayload ? payload_size + 16 : payload_size / 6 / shrink + 16),
          extents(payload_size <= kSmallPayload ? payload_size / 2 + 4
                                                : payload_size / 32 / shrink + 8),
          members(payload_size / 16 / shrink + 16),
          rows(payload_size / 64 / shrink + 4),
          block_bytes(shrink == 1 ? block_for(payload_size) : 0) {}

    // Each piece taken from the block is rounded up to the block's alignment.
    static constexpr std::size_t kPieceSlack = 16;

    std::size_t block_for(std::size_t payload_size) const {
        const std::size_t copy = payload_size + text::kTextPadding;
        const std::size_t tables = cells * sizeof(tape::Cell) + extents * sizeof(tape::Extent) +
                                   members * sizeof(std::uint32_t) + rows * kRowFactsBytes;
        // The columns, the name index, the tape's decoded strings and its other tables.
        const std::size_t small_tables = 8192 + payload_size / 8;
        // Most results are about as long as their payload; a longer one takes its own memory.
        const std::size_t result = payload_size + payload_size / 2 + 1024;
        return copy + tables + small_tables + result + 16 * kPieceSlack;
    }
};

}  // namespace vantor::transform
