#include "memory/page_release.h"

#include <cstdint>
#include <cstring>

#include "memory/huge_pages.h"
#include "memory/page_ranges.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vantor::memory {

void discard_pages(char* data, std::size_t size) noexcept {
#if defined(__linux__)
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const PageRange pages = whole_pages_inside(begin, begin + size, page);
    if (!pages.empty()) madvise(pages.data(), pages.size(), MADV_DONTNEED);
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
    PageRange pages = whole_pages_inside(reinterpret_cast<std::uintptr_t>(base),
                                         reinterpret_cast<std::uintptr_t>(upto), kHugePageBytes);
    if (released_ > pages.first) pages.first = released_;
    if (pages.empty()) return;
    discard_pages(static_cast<char*>(pages.data()), pages.size());
    released_ = pages.last;
}

}  // namespace vantor::memory
