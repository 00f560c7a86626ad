#pragma once
// The call's block: one allocation per call, sized from the payload's length, that holds the
// payload's copy, the transform's tables (the tape's cells, extents and texts, the columns, the
// rows' facts, the members' columns, the name index) and the result. The C library serves a call
// of any usual size with one allocation and one release then: with glibc, the first such block
// is mapped and unmapped, which raises its mapping threshold to the block's size, and every later
// call of that size is served from the heap without growing it or trimming it back, so a call
// neither asks the system for memory nor faults its pages in again. Several medium blocks per
// call would instead grow the heap past its trim threshold and give it back every time.
//
// Tables that outgrow their room, and every table of a call without a block, take memory of their
// own (memory/table_storage.h).
//
// The block hands out memory from its front and takes nothing back before the call ends: a
// table that grows leaves its old room unused, which costs less than giving it back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "memory/huge_pages.h"

namespace vantor::memory {

class ScratchArea {
  public:
    // No block: every table allocates its own.
    ScratchArea() = default;
    // The block's size, before and after it is allocated.
    std::size_t bytes() const {
        return wanted_ != 0 ? wanted_ : static_cast<std::size_t>(end_ - begin_);
    }
    // A block of `bytes`, allocated with the first table that asks for room, so that a call that
    // makes no table (an empty array, a payload refused at once) pays nothing for it. None when
    // `bytes` is 0 or the memory cannot be had, which only makes the tables allocate their own.
    explicit ScratchArea(std::size_t bytes) : wanted_(bytes) {}
    ScratchArea(const ScratchArea&) = delete;
    ScratchArea& operator=(const ScratchArea&) = delete;
    ~ScratchArea() { release_buffer(begin_); }

    // `bytes` from the block, aligned as malloc aligns, or nullptr when they do not fit. Out of
    // line: tables take memory when they start or grow, and the walk's loop, into which their
    // growth is inlined, is better without it.
    [[gnu::noinline]] void* take(std::size_t bytes) {
        if (wanted_ != 0) [[unlikely]]
            allocate();
        const std::size_t rounded = (bytes + kAlignment - 1) & ~(kAlignment - 1);
        if (rounded < bytes || rounded > static_cast<std::size_t>(end_ - next_)) return nullptr;
        void* taken = next_;
        next_ += rounded;
        return taken;
    }

    // Whether the block has been allocated: some piece was taken from it.
    bool allocated() const { return begin_ != nullptr; }

    // Whether `memory` came from the block.
    bool owns(const void* memory) const {
        const auto at = reinterpret_cast<std::uintptr_t>(memory);
        return at >= reinterpret_cast<std::uintptr_t>(begin_) &&
               at < reinterpret_cast<std::uintptr_t>(end_);
    }

  private:
    void allocate() {
        // A block the C library would serve from its heap once it has served one is a plain
        // allocation: an aligned one for huge pages is mapped anew by glibc every time. Larger
        // blocks are mapped every time anyway, and huge pages spare most of their faults.
        begin_ = static_cast<char*>(wanted_ >= kHeapBlockLimit ? allocate_buffer(wanted_)
                                                               : std::malloc(wanted_));
        next_ = begin_;
        end_ = begin_ == nullptr ? nullptr : begin_ + wanted_;
        wanted_ = 0;
    }

    static constexpr std::size_t kAlignment = alignof(std::max_align_t);
    // glibc's largest mapping threshold: blocks below it are served from the heap, without a
    // system call, once one of their size has been released.
    static constexpr std::size_t kHeapBlockLimit = std::size_t{32} << 20;
    std::size_t wanted_ = 0;  // the block's size until it is allocated
    char* begin_ = nullptr;
    char* next_ = nullptr;
    char* end_ = nullptr;
};

// The allocator of the tables kept in standard containers: from the call's block while it has
// room, else plain memory of the table's own.
template <class T>
struct ScratchAllocator {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = ScratchAllocator<U>;
    };

    ScratchAllocator() = default;
    explicit ScratchAllocator(ScratchArea* area) noexcept : area(area) {}
    template <class U>
    ScratchAllocator(const ScratchAllocator<U>& other) noexcept : area(other.area) {}

    T* allocate(std::size_t count) {
        static_assert(alignof(T) <= alignof(std::max_align_t));
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        if (area != nullptr) {
            if (void* taken = area->take(count * sizeof(T))) return static_cast<T*>(taken);
        }
        void* memory = std::malloc(count * sizeof(T));
        if (memory == nullptr) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t) noexcept {
        if (area != nullptr && area->owns(memory)) return;
        std::free(memory);
    }
    template <class U>
    bool operator==(const ScratchAllocator<U>& other) const noexcept {
        return area == other.area;
    }

    ScratchArea* area = nullptr;
};

}  // namespace vantor::memory
