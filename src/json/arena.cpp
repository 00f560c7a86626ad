#include "json/arena.h"

#include <cstdint>
#include <cstdlib>

#include "json/huge_pages.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vantor::json {

void advise_huge_pages(void* data, std::size_t size) noexcept {
#if defined(__linux__)
    // Only whole huge pages inside the buffer can be advised.
    auto begin = reinterpret_cast<std::uintptr_t>(data);
    auto first = (begin + huge_page_bytes - 1) & ~(huge_page_bytes - 1);
    auto last = (begin + size) & ~(huge_page_bytes - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

void* allocate_buffer(std::size_t bytes) noexcept {
#if defined(__linux__)
    if (bytes >= huge_page_bytes) {
        std::size_t rounded = (bytes + huge_page_bytes - 1) & ~(huge_page_bytes - 1);
        if (rounded >= bytes) {
            void* buffer = std::aligned_alloc(huge_page_bytes, rounded);
            if (buffer != nullptr) advise_huge_pages(buffer, rounded);
            return buffer;
        }
    }
#endif
    return std::malloc(bytes);
}

void release_buffer(void* buffer) noexcept {
    std::free(buffer);
}

void* Arena::allocate_block(std::size_t bytes) {
    void* block = allocate_buffer(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void Arena::free_block(void* block) noexcept {
    release_buffer(block);
}

void* Arena::allocate_slow(std::size_t bytes, std::size_t align) {
    std::size_t block_bytes = next_block_bytes_;
    if (bytes > SIZE_MAX - align - sizeof(Block)) throw std::bad_alloc();
    if (bytes + align > block_bytes) block_bytes = bytes + align;
    void* raw = allocate_block(sizeof(Block) + block_bytes);
    head_ = new (raw) Block{head_};
    bytes_reserved_ += sizeof(Block) + block_bytes;
    cursor_ = reinterpret_cast<char*>(head_ + 1);
    end_ = cursor_ + block_bytes;
    // Grow geometrically so a large document needs few blocks, but cap the step so the unused
    // tail of the last block stays small compared with the document.
    if (next_block_bytes_ < (std::size_t{16} << 20)) next_block_bytes_ *= 2;
    return allocate(bytes, align);
}

}  // namespace vantor::json
