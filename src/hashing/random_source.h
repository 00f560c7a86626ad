#pragma once
// The operating system's random source, which the hash keys are drawn from (hashing/keyed_hash.h).
#include <cstddef>

namespace vantor::hashing {

// Fills `buffer` with bytes from the operating system's random source. Returns false when the
// source is not available (the caller then falls back to weaker entropy).
bool fill_random_bytes(void* buffer, std::size_t size) noexcept;

#if defined(__linux__)
// Fills `buffer` from the random device at `path` (/dev/urandom), the source on kernels without
// the getrandom call. Returns false when the device cannot be opened or runs dry.
bool read_random_device(void* buffer, std::size_t size, const char* path) noexcept;
#endif

}  // namespace vantor::hashing
