#include "memory/arena.h"

#include <cstdint>
#include <cstdlib>

#include "memory/huge_pages.h"

namespace vantor::memory {

void* Arena::allocate_block(std::size_t bytes) {
    if (area_ != nullptr) {
        if (void* block = area_->take(bytes)) return block;
    }
    void* block = allocate_buffer(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void Arena::free_block(void* block) noexcept {
    if (area_ != nullptr && area_->owns(block)) return;
    release_buffer(block);
}

void* Arena::allocate_slow(std::size_t bytes, std::size_t align) {
    std::size_t block_bytes = next_block_bytes_;
    if (bytes > SIZE_MAX - align - sizeof(Block)) throw std::bad_alloc();
    if (bytes + align > block_bytes) block_bytes = bytes + align;
    void* raw = allocate_block(sizeof(Block) + block_bytes);
    head_ = new (raw) Block{head_};
    cursor_ = reinterpret_cast<char*>(head_ + 1);
    end_ = cursor_ + block_bytes;
    // Grow geometrically so a large document needs few blocks, but cap the step so the unused
    // tail of the last block stays small compared with the document.
    if (next_block_bytes_ < (std::size_t{16} << 20)) next_block_bytes_ *= 2;
    return allocate(bytes, align);
}

}  // namespace vantor::memory
