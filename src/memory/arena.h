#pragma once
// A monotonic arena: one document's values, strings and member tables are carved out of a few
// large blocks and released together, so a payload costs a handful of allocations instead of
// one per value.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "memory/scratch_area.h"

namespace vantor::memory {

class Arena {
  public:
    explicit Arena(std::size_t first_block_bytes = 4096) : next_block_bytes_(first_block_bytes) {}
    // An arena whose blocks come from the call's block while it has room
    // (memory/scratch_area.h), and from the system after.
    Arena(ScratchArea* area, std::size_t first_block_bytes)
        : area_(area), next_block_bytes_(first_block_bytes) {}
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() { release(); }

    // Raw storage aligned to `align` (a power of two no larger than alignof(max_align_t)).
    // Throws std::bad_alloc when memory runs out.
    void* allocate(std::size_t bytes, std::size_t align = alignof(std::max_align_t)) {
        auto aligned = (reinterpret_cast<std::uintptr_t>(cursor_) + (align - 1)) &
                       ~static_cast<std::uintptr_t>(align - 1);
        auto end = reinterpret_cast<std::uintptr_t>(end_);
        if (aligned <= end && bytes <= end - aligned && cursor_ != nullptr) {
            cursor_ = reinterpret_cast<char*>(aligned + bytes);
            return reinterpret_cast<void*>(aligned);
        }
        return allocate_slow(bytes, align);
    }

    template <class T>
    T* allocate_array(std::size_t count) {
        if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(allocate(count * sizeof(T), alignof(T)));
    }

    // A copy of `text` owned by the arena (not NUL-terminated).
    std::string_view copy_string(std::string_view text) {
        if (text.empty()) return {};
        char* data = static_cast<char*>(allocate(text.size(), 1));
        std::memcpy(data, text.data(), text.size());
        return {data, text.size()};
    }

    void release() {
        while (head_ != nullptr) {
            Block* previous = head_->previous;
            free_block(head_);
            head_ = previous;
        }
        cursor_ = end_ = nullptr;
    }

  private:
    struct alignas(std::max_align_t) Block {
        Block* previous;
    };

    void* allocate_slow(std::size_t bytes, std::size_t align);
    // System memory for a block; large blocks are backed by huge pages where the system offers
    // them, which saves most of the page faults of touching a fresh multi-megabyte block.
    void* allocate_block(std::size_t bytes);
    void free_block(void* block) noexcept;

    ScratchArea* area_ = nullptr;
    Block* head_ = nullptr;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    std::size_t next_block_bytes_;
};

}  // namespace vantor::memory
