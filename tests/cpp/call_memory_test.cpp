// The memory a call asks for: how tables grow, what the call's block holds, and bounds that
// size the result from the tape (a bound too small would write past the result's buffer, which
// the sanitized build of these tests reports).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "memory/byte_buffer.h"
#include "memory/scratch_area.h"
#include "memory/table_storage.h"
#include "oracle/exact_transform.h"
#include "support/padded_copy.h"
#include "transform/call_plan.h"
#include "transform/columnarize.h"

namespace {

using vantor::memory::ByteBuffer;
using vantor::memory::grown_capacity;
using vantor::memory::ScratchArea;
using vantor::memory::TableStorage;
using vantor::memory::TableVector;
using vantor::transform::CallPlan;
using vantor::transform::TransformOutcome;

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(CallMemory, TablesDoubleWhileSmallAndGrowByAnEighthOnceLarge) {
    struct Case {
        std::size_t capacity, needed, element_bytes, expected;
    };
    const Case cases[] = {
        {0, 1, 8, 1},
        {16, 17, 8, 32},
        {16, 100, 8, 100},                                 // what is needed wins over doubling
        {4 * kMiB - 1, 4 * kMiB, 8, 8 * kMiB - 2},         // just under 32 MiB of cells: doubles
        {4 * kMiB, 4 * kMiB + 1, 8, 4 * kMiB + kMiB / 2},  // 32 MiB: an eighth
        {800 * kMiB, 800 * kMiB + 1, 4, 900 * kMiB},
        {800 * kMiB, 1000 * kMiB, 4, 1000 * kMiB},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(grown_capacity(c.capacity, c.needed, c.element_bytes), c.expected)
            << c.capacity << " " << c.needed;
    }
    // A count whose bytes pass what one object may hold is running out of memory.
    EXPECT_THROW(grown_capacity(8, static_cast<std::size_t>(PTRDIFF_MAX) / 4, 8), std::bad_alloc);
    EXPECT_EQ(grown_capacity(static_cast<std::size_t>(PTRDIFF_MAX) / 8 - 1,
                             static_cast<std::size_t>(PTRDIFF_MAX) / 8, 8),
              static_cast<std::size_t>(PTRDIFF_MAX) / 8);
}

// A table that starts in its own object, moves to the call's block, then to memory of its own
// and grows there by large steps: every element is kept on the way.
TEST(CallMemory, TableStorageKeepsItsContentsWhereverItGrows) {
    for (std::size_t block : {std::size_t{0}, std::size_t{512}, 8 * kMiB}) {
        ScratchArea area(block);
        std::uint64_t inline_room[4];
        TableStorage<std::uint64_t> table(&area, inline_room, 4);
        std::size_t used = 0;
        bool was_in_block = false;
        // Up to 48 MiB: past the size from which it grows by an eighth.
        for (std::size_t count = 1; count <= 6 * kMiB; count = count * 3 / 2 + 1) {
            table.grow(used, count);
            ASSERT_GE(table.capacity(), count);
            was_in_block = was_in_block || area.owns(table.data());
            EXPECT_EQ(table.own_memory(), !area.owns(table.data()) && table.data() != inline_room);
            for (; used < count; ++used)
                table.data()[used] = used * 0x9e3779b97f4a7c15u;
        }
        for (std::size_t i = 0; i < used; ++i)
            ASSERT_EQ(table.data()[i], i * 0x9e3779b97f4a7c15u) << block << " " << i;
        EXPECT_EQ(was_in_block, block != 0) << block;
        EXPECT_TRUE(table.own_memory());
    }
}

TEST(CallMemory, TableVectorStaysInTheBlockWhileItFits) {
    ScratchArea area(4096);
    TableVector<std::uint32_t> numbers(&area);
    numbers.reserve(100);
    for (std::uint32_t i = 0; i < 100; ++i)
        numbers.push_back(i);
    EXPECT_TRUE(area.owns(numbers.data()));
    EXPECT_FALSE(numbers.own_memory());
    for (std::uint32_t i = 100; i < 5000; ++i)
        numbers.push_back(i);
    EXPECT_TRUE(numbers.own_memory());
    ASSERT_EQ(numbers.size(), 5000u);
    std::uint32_t expected = 0;
    for (std::uint32_t value : numbers)
        ASSERT_EQ(value, expected++);
}

TEST(CallMemory, ResultBufferInTheBlockMovesOutWhenItGrows) {
    ScratchArea area(256);
    ByteBuffer text(&area, 64);
    EXPECT_TRUE(text.borrowed());
    EXPECT_TRUE(area.owns(text.data()));
    std::string expected;
    for (int i = 0; i < 100; ++i) {
        text.append("abc", 3);
        expected += "abc";
    }
    EXPECT_FALSE(text.borrowed());
    EXPECT_EQ(text.view(), expected);
    // No block, or too little of it: the buffer's own memory from the start.
    ByteBuffer without(nullptr, 64);
    EXPECT_FALSE(without.borrowed());
    ScratchArea small(32);
    ByteBuffer too_large(&small, 64);
    EXPECT_FALSE(too_large.borrowed());
    EXPECT_GE(too_large.capacity(), 64u);
}

// The block holds the padded copy, each table's first room and the result's usual room; above
// the largest block payload there is none.
TEST(CallMemory, TheBlockHoldsWhatThePlanReserves) {
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1000}, std::size_t{100000}, CallPlan::kLargestBlockPayload}) {
        const CallPlan plan(size);
        const std::size_t tables = plan.cells * 8 + plan.extents * 8 + plan.members * 4 +
                                   plan.rows * CallPlan::kRowFactsBytes;
        EXPECT_GE(plan.block_bytes, size + 64 + tables + size) << size;
        EXPECT_EQ(vantor::transform::call_block_bytes(size), plan.block_bytes);
    }
    const std::size_t large_size = CallPlan::kLargestBlockPayload + 1;
    const CallPlan large(large_size);
    EXPECT_EQ(large.block_bytes, 0u);
    // Without a block the tables start at a small part of the payload's size.
    EXPECT_LE(large.cells * 8 + large.extents * 8 + large.members * 4, large_size / 8);
}

std::string rows_of(std::string_view row, int count) {
    std::string payload = "[";
    for (int i = 0; i < count; ++i) {
        if (i != 0) payload += ',';
        payload += row;
    }
    return payload + "]";
}

// Payloads whose result's bound is as tight as it gets, or whose tables outgrow the block: in
// the call's block and without one, the result is the reference's.
TEST(CallMemory, ResultsInTheBlockAreTheReferenceResults) {
    const std::string payloads[] = {
        // Escapes written exactly as long as they are read: the bound is the token's length.
        rows_of(R"({"a":"\u0001\"\\\b\f\n\r\t\u001f","b":1})", 3),
        rows_of(R"({"s":"\/\u00e9\ud83d\ude00\u0041","n":null})", 50),
        // Numbers that write longer than their tokens, inside nested values.
        rows_of(R"({"v":[1e15,-0,1E2,2e-5,{"x":[1e16,5e-324,0e0]}],"k":1})", 40),
        // Many members per byte: the tape, the members and the rows outgrow the block.
        rows_of(R"({"a":[1,2,3,4,5,6,7,8,9,0,1,2,3,4,5,6,7,8,9,0],"b":[],"c":{}})", 2000),
        rows_of(R"({"k":1})", 5000),
        // Sparse rows: the result is far longer than the payload and leaves the block.
        [] {
            std::string payload = "[";
            for (int i = 0; i < 600; ++i)
                payload +=
                    (i ? ",{\"k" : "{\"k") + std::to_string(i) + "\":" + std::to_string(i) + "}";
            return payload + "]";
        }(),
    };
    for (const std::string& payload : payloads) {
        const vantor::oracle::ExactOutcome expected = vantor::oracle::columnarize_exact(payload);
        ASSERT_FALSE(expected.failed) << payload.substr(0, 80);
        const vantor::test_support::PaddedCopy copy(payload);
        const TransformOutcome alone = vantor::transform::columnarize(copy.text());
        EXPECT_EQ(alone.text.view(), expected.text) << payload.substr(0, 80);
        ScratchArea block(vantor::transform::call_block_bytes(payload.size()));
        const TransformOutcome in_block = vantor::transform::columnarize(copy.text(), block);
        EXPECT_EQ(in_block.text.view(), expected.text) << payload.substr(0, 80);
    }
}

}  // namespace
