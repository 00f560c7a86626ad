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

// A room lent before the block is allocated: pieces that fit come from it, aligned, and only the
// first that does not allocates the block; the area owns both. Without a block to come (size 0)
// nothing is lent.
TEST(ScratchArea, TakesFromALentRoomUntilThePieceDoesNotFit) {
    struct Case {
        std::size_t block;
        std::size_t room;  // bytes lent, from an aligned address plus `misalign`
        std::size_t misalign;
        std::vector<std::size_t> asks;
        std::vector<char> from;  // 'r' the room, 'b' the block, '-' nothing
    };
    const std::size_t align = alignof(std::max_align_t);
    const Case cases[] = {
        {256, 64, 0, {16, 48, 1}, {'r', 'r', 'b'}},
        {256, 64, 0, {65, 1}, {'b', 'b'}},  // once the block is allocated, the room stays unused
        {256, 64, 1, {48, 1}, {'r', 'b'}},  // 63 bytes once aligned: 48 fit, 16 more do not
        {256, 64, 0, {0, 64}, {'r', 'r'}},
        {256, align, 1, {1}, {'b'}},  // less than one aligned piece
        {0, 64, 0, {1}, {'-'}},
        {256, 64, 0, {static_cast<std::size_t>(-1), 1}, {'-', 'b'}},
    };
    for (const Case& c : cases) {
        alignas(std::max_align_t) char room[256 + 2 * alignof(std::max_align_t)];
        ScratchArea area(c.block);
        area.lend(room + c.misalign, c.room);
        for (std::size_t i = 0; i < c.asks.size(); ++i) {
            const bool room_held = area.room_holds(c.asks[i]);
            void* taken = area.take(c.asks[i]);
            const char* at = static_cast<const char*>(taken);
            const char from = taken == nullptr                                ? '-'
                              : at >= room && at < room + c.misalign + c.room ? 'r'
                                                                              : 'b';
            EXPECT_EQ(from, c.from[i]) << c.block << " " << c.room << " ask " << i;
            EXPECT_EQ(room_held, from == 'r') << c.block << " " << c.room << " ask " << i;
            if (taken == nullptr) continue;
            EXPECT_TRUE(area.owns(taken));
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(taken) % align, 0u);
            if (from == 'r' && c.asks[i] != 0) {
                EXPECT_LE(at + c.asks[i], room + c.misalign + c.room);
            }
        }
        EXPECT_FALSE(area.owns(room + c.misalign + c.room));
    }
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
