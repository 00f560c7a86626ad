#pragma once
// The growable output buffer of the writer. When an append does not fit, the capacity becomes the
// larger of twice the old capacity and the length needed, and never less than 8 bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "memory/huge_pages.h"
#include "memory/scratch_area.h"

namespace vantor::memory {

class ByteBuffer {
  public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::size_t initial_capacity) { grow_to(initial_capacity); }
    // A buffer whose first `capacity` bytes come from the call's block when it has room for them
    // (memory/scratch_area.h): the buffer then must not outlive the block.
    ByteBuffer(ScratchArea* area, std::size_t capacity) {
        if (area != nullptr) data_ = static_cast<char*>(area->take(capacity));
        if (data_ != nullptr) {
            capacity_ = capacity;
            borrowed_ = true;
        } else {
            grow_to(capacity);
        }
    }
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ByteBuffer(ByteBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)),
          borrowed_(std::exchange(other.borrowed_, false)) {}
    ByteBuffer& operator=(ByteBuffer&& other) noexcept {
        if (this != &other) {
            if (!borrowed_) std::free(data_);
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
            borrowed_ = std::exchange(other.borrowed_, false);
        }
        return *this;
    }
    ~ByteBuffer() {
        if (!borrowed_) std::free(data_);
    }

    const char* data() const { return data_; }
    char* data() { return data_; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    std::string_view view() const { return {data_, size_}; }
    // Whether the bytes live in a call's block rather than in memory of the buffer's own.
    bool borrowed() const { return borrowed_; }

    void append(const char* bytes, std::size_t count) {
        if (count == 0) return;
        std::memcpy(tail(count), bytes, count);
        size_ += count;
    }
    void append(std::string_view text) { append(text.data(), text.size()); }
    void push_back(char byte) {
        if (size_ == capacity_) grow_for(1);
        data_[size_++] = byte;
    }

    // Room for `count` more bytes; write them at the returned pointer, then call commit().
    char* tail(std::size_t count) {
        if (capacity_ - size_ < count) grow_for(count);
        return data_ + size_;
    }
    void commit(std::size_t count) { size_ += count; }

    void clear() { size_ = 0; }

  private:
    void grow_for(std::size_t extra) {
        // No object may exceed PTRDIFF_MAX bytes; asking for more is running out of memory.
        constexpr std::size_t kLargest = PTRDIFF_MAX;
        if (extra > kLargest - size_) throw std::bad_alloc();
        std::size_t needed = size_ + extra;
        std::size_t doubled = capacity_ > kLargest / 2 ? kLargest : capacity_ * 2;
        std::size_t capacity = doubled > needed ? doubled : needed;
        grow_to(capacity < 8 ? 8 : capacity);
    }
    void grow_to(std::size_t capacity) {
        if (capacity <= capacity_) return;
        if (capacity > static_cast<std::size_t>(PTRDIFF_MAX)) throw std::bad_alloc();
        // A first allocation of several huge pages starts on a huge-page boundary, so that all
        // of it can be backed by them; growth reallocates, which moves large blocks without
        // copying their bytes.
        const bool first_large = data_ == nullptr && capacity >= 2 * memory::kHugePageBytes;
        void* grown = nullptr;
        if (borrowed_) {
            // Out of the call's block: the bytes so far move to memory of the buffer's own.
            grown = std::malloc(capacity);
            if (grown == nullptr) throw std::bad_alloc();
            std::memcpy(grown, data_, size_);
            borrowed_ = false;
        } else {
            grown = first_large ? memory::allocate_buffer(capacity) : std::realloc(data_, capacity);
        }
        if (grown == nullptr) throw std::bad_alloc();
        data_ = static_cast<char*>(grown);
        capacity_ = capacity;
        if (!first_large && capacity >= 2 * memory::kHugePageBytes) {
            memory::advise_huge_pages(data_, capacity);
        }
    }

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    bool borrowed_ = false;
};

}  // namespace vantor::memory
