// Giving a buffer's pages back while it is copied: the copy must be whole whatever the sizes and
// alignments, and the pages dropped must be exactly the whole pages inside the range.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "memory/huge_pages.h"
#include "memory/page_release.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using vantor::memory::copy_releasing_source;
using vantor::memory::discard_pages;
using vantor::memory::kHugePageBytes;

std::string pattern(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    return text;
}

TEST(PageRelease, CopiesEveryByteWhateverTheSizeAndAlignment) {
    struct Case {
        std::size_t offset;  // of the source inside its buffer
        std::size_t size;
    };
    const Case cases[] = {
        {0, 0},
        {0, 1},
        {5, 4095},
        {0, kHugePageBytes},
        {1, kHugePageBytes},
        {4096, kHugePageBytes + 1},
        {4097, 3 * kHugePageBytes + 12345},
        {kHugePageBytes - 3, 2 * kHugePageBytes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("offset " + std::to_string(c.offset) + ", size " + std::to_string(c.size));
        const std::string original = pattern(c.size);
        auto* buffer = static_cast<char*>(vantor::memory::allocate_buffer(c.offset + c.size + 1));
        ASSERT_NE(buffer, nullptr);
        std::copy(original.begin(), original.end(), buffer + c.offset);
        std::string copy(c.size, '\0');
        copy_releasing_source(copy.data(), buffer + c.offset, c.size);
        EXPECT_EQ(copy, original);
        vantor::memory::release_buffer(buffer);
    }
}

#if defined(__linux__)
// Private anonymous pages that were dropped read as zeros; pages that were kept keep their bytes.
TEST(PageRelease, DropsExactlyTheWholePagesInsideTheRange) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t pages = 8;
    void* mapped =
        mmap(nullptr, pages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    auto* data = static_cast<unsigned char*>(mapped);
    struct Case {
        std::size_t begin, end;            // the range asked for
        std::size_t zero_begin, zero_end;  // the bytes that must read zero afterwards
    };
    const Case cases[] = {
        {0, pages * page, 0, pages * page},
        {100, 3 * page + 50, page, 3 * page},
        {page, 2 * page, page, 2 * page},
        {page + 1, 2 * page - 1, 0, 0},  // no whole page inside
        {0, page - 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("range " + std::to_string(c.begin) + ".." + std::to_string(c.end));
        std::fill(data, data + pages * page, 0xAB);
        discard_pages(reinterpret_cast<char*>(data) + c.begin, c.end - c.begin);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < pages * page; ++i) {
            const bool dropped = i >= c.zero_begin && i < c.zero_end;
            if (data[i] != (dropped ? 0 : 0xAB)) ++wrong;
        }
        EXPECT_EQ(wrong, 0u);
    }
    munmap(mapped, pages * page);
}

// The copy leaves the source's inner pages dropped, so the two are never held whole together.
TEST(PageRelease, TheCopiedSourceHoldsNoPagesAnyMore) {
    const std::size_t size = 3 * kHugePageBytes + 777;
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    auto* source = static_cast<char*>(mapped);
    const std::string original = pattern(size);
    std::copy(original.begin(), original.end(), source);
    std::vector<char> destination(size);
    copy_releasing_source(destination.data(), source, size);
    EXPECT_EQ(std::string(destination.data(), size), original);
    std::size_t kept = 0;
    for (std::size_t i = 0; i + page <= size; ++i)
        kept += source[i] != 0;
    EXPECT_EQ(kept, 0u);
    munmap(mapped, size);
}
#endif

}  // namespace
