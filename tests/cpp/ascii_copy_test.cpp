// The payload's copy that tells whether it is ASCII: every size around its vectors and turns, a
// byte from 0x80 up at every place or none, and targets at several gaps from the source in the
// 4 KiB page's offsets, those the vector copy leaves to the C library included. The copy is
// always exact; "ASCII" is never said of a text that is not, and the vector kernel says it of
// every text that is, where it copies itself.
#include "text/ascii_copy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using vantor::text::AsciiCopyKernel;

std::vector<AsciiCopyKernel> available_kernels() {
    std::vector<AsciiCopyKernel> kernels;
    for (AsciiCopyKernel kernel : {AsciiCopyKernel::plain, AsciiCopyKernel::avx2}) {
        if (vantor::text::ascii_copy_kernel_available(kernel)) kernels.push_back(kernel);
    }
    return kernels;
}

struct Placement {
    const char* name;
    std::size_t source_offset;  // from a page's start
    std::size_t target_offset;
    // Whether the vector kernel copies itself, and so tells ASCII: not when the target lies less
    // than 64 bytes from the source, either way, in the page's offsets.
    bool vector_copy;
};

TEST(AsciiCopy, CopiesExactlyAndTellsAsciiOnlyOfAscii) {
    const auto kernels = available_kernels();
    const std::size_t sizes[] = {0,  1,   7,   31,  32,  33,  63,  64,
                                 95, 127, 128, 129, 160, 255, 256, 300};
    const Placement placements[] = {
        {"same offsets", 0, 0, true},
        {"unaligned apart", 3, 1000, true},
        {"target 16 bytes after", 0, 16, false},
        {"target 1 byte before", 1, 0, false},
        {"target 64 bytes after", 0, 64, true},
        {"target 63 bytes after", 5, 68, false},
    };
    // Page-aligned room for a source and a target of up to 300 bytes at any of those offsets.
    std::vector<char> memory(5 * 4096);
    char* page = memory.data() + (4096 - reinterpret_cast<std::uintptr_t>(memory.data()) % 4096);
    for (const Placement& placement : placements) {
        char* source = page + placement.source_offset;
        char* target = page + 2 * 4096 + placement.target_offset;
        for (std::size_t size : sizes) {
            // -1: all ASCII; else a byte from 0x80 up at that place.
            for (long high = -1; high < static_cast<long>(size); ++high) {
                for (std::size_t i = 0; i < size; ++i)
                    source[i] = static_cast<char>(0x20 + (i * 7) % 0x5f);
                if (high >= 0) source[high] = static_cast<char>(0x80 + (high % 0x80));
                for (AsciiCopyKernel kernel : kernels) {
                    std::memset(target - 8, 0x55, size + 16);
                    const bool ascii =
                        vantor::text::copy_telling_ascii(target, source, size, kernel);
                    const auto where = [&] {
                        return std::string(placement.name) + ", kernel " +
                               std::to_string(static_cast<int>(kernel)) + ", size " +
                               std::to_string(size) + ", high byte at " + std::to_string(high);
                    };
                    ASSERT_EQ(std::memcmp(target, source, size), 0) << where();
                    // Nothing written around the copy.
                    for (std::size_t i = 0; i < 8; ++i) {
                        ASSERT_EQ(target[-1 - static_cast<long>(i)], 0x55) << where();
                        ASSERT_EQ(target[size + i], 0x55) << where();
                    }
                    if (high >= 0) {
                        ASSERT_FALSE(ascii) << where();
                    }
                    const bool looks = kernel == AsciiCopyKernel::avx2 && placement.vector_copy;
                    if (looks) {
                        ASSERT_EQ(ascii, high < 0) << where();
                    }
                    if (kernel == AsciiCopyKernel::plain) {
                        ASSERT_FALSE(ascii) << where();
                    }
                }
            }
        }
    }
}

// The copy that looks is the one the module makes on the 64-bit x86 machines it is built for.
TEST(AsciiCopy, TheVectorKernelRunsOnX86_64) {
#if defined(__x86_64__) || defined(_M_X64)
    EXPECT_TRUE(vantor::text::ascii_copy_kernel_available(AsciiCopyKernel::avx2));
#else
    GTEST_SKIP() << "no vector copy on this platform";
#endif
}

}  // namespace
