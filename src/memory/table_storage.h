#pragma once
// The storage of a call's growing tables (the tape's cells and extents, the members' columns, the
// rows' facts): taken from the call's block while it has room (memory/scratch_area.h), else
// memory of the table's own, which grows in place where the C library can. glibc and musl move a
// block of their own mapping with mremap instead of copying it, so a table of hundreds of
// megabytes grows without ever holding its old and its new room at once.
//
// Growth doubles a table while it is small, where a copy is cheap and steps would be many. A
// large table grows by an eighth: it is remapped rather than copied, and what a call may reserve
// beyond what it fills stays a small part of it (a payload of several gigabytes must fit beside
// its copy and its result in the memory the caller allows).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "memory/huge_pages.h"
#include "memory/scratch_area.h"

namespace vantor::memory {

// Tables of at least this many bytes grow by an eighth; smaller ones double.
inline constexpr std::size_t kSteadyGrowthBytes = std::size_t{32} << 20;

// The capacity a table of `capacity` elements of `element_bytes` bytes takes when it needs room
// for `needed`: at least `needed`, never a count whose bytes overflow (std::bad_alloc instead).
inline std::size_t grown_capacity(std::size_t capacity, std::size_t needed,
                                  std::size_t element_bytes) {
    const std::size_t largest = static_cast<std::size_t>(PTRDIFF_MAX) / element_bytes;
    if (needed > largest) throw std::bad_alloc();
    std::size_t step = capacity * element_bytes < kSteadyGrowthBytes ? capacity : capacity / 8;
    if (step > largest - capacity) step = largest - capacity;
    const std::size_t grown = capacity + step;
    return grown > needed ? grown : needed;
}

template <class T>
class TableStorage {
    static_assert(std::is_trivially_copyable_v<T>);
    static_assert(alignof(T) <= alignof(std::max_align_t));

  public:
    // Storage that starts as `initial` (room for `initial_capacity` elements kept elsewhere, for
    // example in the table's own object) and grows into `area`, then into memory of its own.
    explicit TableStorage(ScratchArea* area, T* initial = nullptr,
                          std::size_t initial_capacity = 0) noexcept
        : area_(area), data_(initial), capacity_(initial_capacity) {}
    TableStorage(const TableStorage&) = delete;
    TableStorage& operator=(const TableStorage&) = delete;
    ~TableStorage() {
        if (own_) release_buffer(data_);
    }

    T* data() const { return data_; }
    std::size_t capacity() const { return capacity_; }
    // Whether the table has left the call's block for memory of its own.
    bool own_memory() const { return own_; }

    // Room for at least `needed` elements, keeping the first `used`. Throws std::bad_alloc when
    // memory runs out; the table is then as it was.
    void grow(std::size_t used, std::size_t needed) {
        if (needed <= capacity_) return;
        move_to(used, grown_capacity(capacity_, needed, sizeof(T)));
    }

    // Room for exactly `capacity` elements (more than the present capacity), keeping the first
    // `used`: for a table whose capacity is also its limit.
    void move_to(std::size_t used, std::size_t capacity) {
        if (capacity > static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(T)) throw std::bad_alloc();
        const std::size_t bytes = capacity * sizeof(T);
        void* grown = nullptr;
        if (own_) {
            grown = std::realloc(data_, bytes);
            if (grown == nullptr) throw std::bad_alloc();
        } else {
            if (area_ != nullptr) grown = area_->take(bytes);
            const bool from_area = grown != nullptr;
            if (!from_area) grown = std::malloc(bytes);
            if (grown == nullptr) throw std::bad_alloc();
            if (used != 0) std::memcpy(grown, data_, used * sizeof(T));
            own_ = !from_area;
        }
        data_ = static_cast<T*>(grown);
        capacity_ = capacity;
        if (own_ && bytes >= 2 * kHugePageBytes) advise_huge_pages(data_, bytes);
    }

  private:
    ScratchArea* area_;
    T* data_;
    std::size_t capacity_;
    bool own_ = false;
};

// A list of trivially copyable elements in a TableStorage: the few operations the transform's
// tables use.
template <class T>
class TableVector {
  public:
    explicit TableVector(ScratchArea* area) noexcept : storage_(area) {}

    void reserve(std::size_t count) { storage_.grow(size_, count); }
    void push_back(const T& value) {
        if (size_ == storage_.capacity()) [[unlikely]]
            storage_.grow(size_, size_ + 1);
        storage_.data()[size_++] = value;
    }
    void clear() { size_ = 0; }

    T* data() { return storage_.data(); }
    const T* data() const { return storage_.data(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    bool own_memory() const { return storage_.own_memory(); }
    T& operator[](std::size_t index) { return storage_.data()[index]; }
    const T& operator[](std::size_t index) const { return storage_.data()[index]; }
    T* begin() { return storage_.data(); }
    T* end() { return storage_.data() + size_; }
    const T* begin() const { return storage_.data(); }
    const T* end() const { return storage_.data() + size_; }

  private:
    TableStorage<T> storage_;
    std::size_t size_ = 0;
};

}  // namespace vantor::memory
