#pragma once
// An allocator for the vectors of a transform that grow with the payload: their memory comes from
// allocate_buffer, so that once they span several huge pages they fault in 2 MiB at a time rather
// than page by page.
#include <cstddef>
#include <new>

#include "memory/huge_pages.h"

namespace vantor::memory {

template <class T>
struct BufferAllocator {
    using value_type = T;

    BufferAllocator() = default;
    template <class U>
    BufferAllocator(const BufferAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        void* memory = allocate_buffer(count * sizeof(T));
        if (memory == nullptr) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t) noexcept { release_buffer(memory); }

    template <class U>
    bool operator==(const BufferAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace vantor::memory
