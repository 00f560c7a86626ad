#pragma once
// Asks the system to back a large buffer with huge pages where it offers them, which saves most of
// the page faults of touching freshly allocated megabytes. Only a hint: nothing changes if refused.
#include <cstddef>

namespace vantor::memory {

inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

void advise_huge_pages(void* data, std::size_t size) noexcept;

// Memory for a private buffer, backed by huge pages when it spans several of them; nullptr when
// memory runs out. Release it with release_buffer.
void* allocate_buffer(std::size_t bytes) noexcept;
void release_buffer(void* buffer) noexcept;

}  // namespace vantor::memory
