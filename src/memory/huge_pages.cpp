#include "memory/huge_pages.h"

#include <cstdint>
#include <cstdlib>

#include "memory/page_ranges.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vantor::memory {

void advise_huge_pages(void* data, std::size_t size) noexcept {
#if defined(__linux__)
    // Only whole huge pages inside the buffer can be advised.
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const PageRange pages = whole_pages_inside(begin, begin + size, kHugePageBytes);
    if (!pages.empty()) madvise(pages.data(), pages.size(), MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

void* allocate_buffer(std::size_t bytes) noexcept {
#if defined(__linux__)
    if (bytes >= kHugePageBytes) {
        std::size_t rounded = (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
        if (rounded >= bytes) {
            void* buffer = std::aligned_alloc(kHugePageBytes, rounded);
            // Only the huge pages the asked-for bytes fill: a last one they only begin would
            // count whole in the resident memory once touched.
            if (buffer != nullptr) advise_huge_pages(buffer, bytes);
            return buffer;
        }
    }
#endif
    return std::malloc(bytes);
}

void release_buffer(void* buffer) noexcept {
    std::free(buffer);
}

}  // namespace vantor::memory
