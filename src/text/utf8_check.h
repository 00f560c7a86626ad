#pragma once
// Whether a whole text is well-formed UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing
// above U+10FFFF, no sequence cut short), answered in one pass before anything else reads it.
// The tape reader asks this once per payload: a payload that passes needs no UTF-8 check inside
// its strings, whose scan then stops only at quotes, backslashes and control bytes, and one that
// fails holds a sequence the exact reader refuses, with its message and position.
//
// Kernels: a portable one (eight ASCII bytes per step, each non-ASCII sequence by the string
// scan's own definition), AVX-512 and AVX2 chosen at run time, and Advanced SIMD on aarch64, the
// three written once (utf8_vector_kernel.h). The
// vector kernels check 64 bytes per step by three table lookups on the halves of each byte and of
// the byte before it, whose bitwise AND names the error a pair of bytes makes; the third and fourth
// bytes of longer sequences are checked by looking two and three bytes back. A block of ASCII
// after a complete sequence costs one test; the bytes after the last whole step, and the sequence
// that step may have left open, are the portable kernel's.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantor::text {

enum class Utf8Kernel : std::uint8_t { portable, avx2, avx512, neon };

bool utf8_kernel_available(Utf8Kernel kernel);

// The kernel the reader runs on this machine: AVX2 where there is AVX2 (utf8_check.cpp says why).
Utf8Kernel best_utf8_kernel();

// Whether `text` is well-formed UTF-8, checked by `kernel`, which must be available.
bool is_well_formed_utf8(std::string_view text, Utf8Kernel kernel);

inline bool is_well_formed_utf8(std::string_view text) {
    static const Utf8Kernel best = best_utf8_kernel();
    return is_well_formed_utf8(text, best);
}

}  // namespace vantor::text
