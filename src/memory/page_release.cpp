#include "memory/page_release.h"

#include <cstdint>
#include <cstring>

#include "memory/huge_pages.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vantor::memory {

void discard_pages(char* data, std::size_t size) noexcept {
#if defined(__linux__)
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    auto begin = reinterpret_cast<std::uintptr_t>(data);
    auto first = (begin + page - 1) & ~(page - 1);
    auto last = (begin + size) & ~(page - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
#else
    (void)data;
    (void)size;
#endif
}

void copy_releasing_source(char* destination, char* source, std::size_t size) noexcept {
    // Steps end on the source's huge-page boundaries, so each drop frees whole huge pages where
    // the source had them, ready to back the destination's next step without compaction.
    std::size_t done = 0;
    while (done < size) {
        auto at = reinterpret_cast<std::uintptr_t>(source + done);
        std::size_t step = kHugePageBytes - (at & (kHugePageBytes - 1));
        if (step > size - done) step = size - done;
        std::memcpy(destination + done, source + done, step);
        discard_pages(source + done, step);
        done += step;
    }
}

void FrontRelease::release_before(const void* base, const void* upto) noexcept {
    constexpr std::uintptr_t kMask = kHugePageBytes - 1;
    const auto first = (reinterpret_cast<std::uintptr_t>(base) + kMask) & ~kMask;
    const auto begin = released_ > first ? released_ : first;
    const auto end = reinterpret_cast<std::uintptr_t>(upto) & ~kMask;
    if (end <= begin) return;
    discard_pages(reinterpret_cast<char*>(begin), end - begin);
    released_ = end;
}

}  // namespace vantor::memory
