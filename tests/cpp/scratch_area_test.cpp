// The call's block of scratch memory: what it hands out, where it says no, and tables that
// outgrow it, which must keep their contents when they move to buffers of their own.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "hashing/name_table.h"
#include "memory/scratch_area.h"
#include "tape/tape.h"

namespace {

using vantor::memory::ScratchAllocator;
using vantor::memory::ScratchArea;

TEST(ScratchArea, TakesFromTheFrontAlignedUntilFull) {
    struct Case {
        std::size_t block;
        std::vector<std::size_t> asks;
        std::vector<bool> given;
    };
    const std::size_t align = alignof(std::max_align_t);
    const Case cases[] = {
        {0, {1, 0}, {false, false}},  // no block: nothing is given, not even nothing
        {64, {1, 1, 1}, {true, true, true}},
        {64, {64, 1}, {true, false}},
        {64, {65}, {false}},
        {64, {align + 1, 64 - 2 * align, 1}, {true, true, false}},
        {64, {static_cast<std::size_t>(-1)}, {false}},  // rounding up must not wrap around
        {64, {static_cast<std::size_t>(-1) - 2, 1}, {false, true}},
    };
    for (const Case& c : cases) {
        ScratchArea area(c.block);
        const char* previous_end = nullptr;
        for (std::size_t i = 0; i < c.asks.size(); ++i) {
            void* taken = area.take(c.asks[i]);
            EXPECT_EQ(taken != nullptr, c.given[i]) << c.block << " ask " << i;
            if (taken == nullptr) continue;
            EXPECT_TRUE(area.owns(taken));
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(taken) % align, 0u);
            // Each piece begins where the one before it ended, rounded up.
            if (previous_end != nullptr) {
                EXPECT_GE(static_cast<const char*>(taken), previous_end);
            }
            if (c.asks[i] != 0) {
                EXPECT_TRUE(area.owns(static_cast<char*>(taken) + c.asks[i] - 1));
            }
            previous_end = static_cast<const char*>(taken) + c.asks[i];
        }
    }
    int elsewhere = 0;
    EXPECT_FALSE(ScratchArea(64).owns(&elsewhere));
    EXPECT_FALSE(ScratchArea().owns(nullptr));
}

// Vectors, a name table and a tape in a block far too small for them: they start in it, move
// out as they grow, and must keep every element on the way.
TEST(ScratchArea, TablesOutgrowingTheBlockKeepTheirContents) {
    for (std::size_t block : {std::size_t{0}, std::size_t{256}, std::size_t{4096}}) {
        ScratchArea area(block);
        std::vector<std::uint32_t, ScratchAllocator<std::uint32_t>> numbers{
            ScratchAllocator<std::uint32_t>(&area)};
        for (std::uint32_t i = 0; i < 10000; ++i) {
            numbers.push_back(i * 7);
            if (i == 3 && block != 0) {
                EXPECT_TRUE(area.owns(numbers.data())) << block;
            }
        }
        EXPECT_FALSE(area.owns(numbers.data()));
        for (std::uint32_t i = 0; i < 10000; ++i)
            ASSERT_EQ(numbers[i], i * 7) << block;

        static const char kNames[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
        vantor::hashing::NameTable table(&area);
        for (std::size_t i = 0; i + 3 <= sizeof kNames - 1; ++i) {
            std::string_view name(kNames + i, 3);
            EXPECT_EQ(table.find_or_add(name).ordinal, i);
            EXPECT_FALSE(table.find_or_add(name).added);
        }
        for (std::size_t i = 0; i + 3 <= sizeof kNames - 1; ++i)
            EXPECT_EQ(table.find(std::string_view(kNames + i, 3)), i) << block;

        vantor::tape::Tape tape(&area);
        std::size_t written = 0;
        for (std::size_t round = 0; round < 20; ++round) {
            tape.reserve_more(100);
            vantor::tape::Tape::Cursor out = tape.cursor();
            for (int i = 0; i < 100; ++i, ++written) {
                *out.next++ = vantor::tape::Cell::with_text(vantor::tape::CellKind::integer,
                                                            written, written % 9);
            }
            tape.set_end(out.next);
            tape.add_extent(static_cast<std::uint32_t>(round), static_cast<std::uint32_t>(round));
        }
        ASSERT_EQ(tape.size(), written);
        for (std::size_t i = 0; i < written; ++i) {
            ASSERT_EQ(tape.cells()[i].text_offset(), i) << block;
            ASSERT_EQ(tape.cells()[i].text_size(), i % 9) << block;
        }
        EXPECT_EQ(tape.extent_count(), 20u);
    }
}

}  // namespace
