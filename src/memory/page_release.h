#pragma once
// Gives pages of a buffer back to the system before the buffer itself is released, so that a
// large text and its copy never hold their whole size at the same time.
#include <cstddef>
#include <cstdint>

namespace vantor::memory {

// Drops the whole pages inside [data, data + size): their memory returns to the system now and
// they read as zeros if touched again. Only for memory the caller owns and no longer reads; the
// bytes around the range, where an allocator keeps its bookkeeping, are left alone. Does nothing
// where the system offers no such call.
void discard_pages(char* data, std::size_t size) noexcept;

// Copies `size` bytes from `source` to `destination` in steps of a huge page, dropping the pages
// of `source` behind each step: the destination's fresh pages then come from the ones just freed,
// and the two buffers together never hold much more than `size` bytes. `source` is garbage
// afterwards, to be released only.
void copy_releasing_source(char* destination, char* source, std::size_t size) noexcept;

// Gives back the front of a buffer that is read once from its start, as the reading moves on:
// each call drops the whole huge pages of [base, upto) not dropped before. Pages only partly
// inside are kept, so a small buffer, or one inside another object, is never touched.
class FrontRelease {
  public:
    void release_before(const void* base, const void* upto) noexcept;

  private:
    std::uintptr_t released_ = 0;  // the end of what was dropped so far
};

}  // namespace vantor::memory
