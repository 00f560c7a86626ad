#pragma once
// The whole pages inside a byte range: what the system's page advice can apply to without
// touching the bytes around the range, where an allocator may keep its bookkeeping.
#include <cstddef>
#include <cstdint>

namespace vantor::memory {

struct PageRange {
    std::uintptr_t first;  // the first whole page's address
    std::uintptr_t last;   // the end of the last one; at most `first` when there is none
    bool empty() const { return last <= first; }
    void* data() const { return reinterpret_cast<void*>(first); }
    std::size_t size() const { return empty() ? 0 : last - first; }
};

// The pages of `page` bytes (a power of two) that lie wholly inside [begin, end).
inline PageRange whole_pages_inside(std::uintptr_t begin, std::uintptr_t end, std::size_t page) {
    const std::uintptr_t mask = page - 1;
    return {(begin + mask) & ~mask, end & ~mask};
}

}  // namespace vantor::memory
