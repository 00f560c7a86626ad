#include "text/ascii_copy.h"

#include <cstdint>
#include <cstring>

#include "text/cpu_features.h"

#if defined(VANTOR_X86_KERNELS)
#include <immintrin.h>
#endif

namespace vantor::text {
namespace {

#if defined(VANTOR_X86_KERNELS)
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i load(const char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
[[gnu::target("avx2"), gnu::always_inline]] inline void store(char* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// A target a few bytes from the source in the 4 KiB page's offsets makes the processor take each
// load for one of the stores just before it (their low address bits match) and wait for it: the
// copy then runs at a fraction of its speed. The C library's copy steps around that; such a copy
// is left to it.
inline bool stores_alias_next_loads(const char* target, const char* source) {
    const auto gap =
        (reinterpret_cast<std::uintptr_t>(target) - reinterpret_cast<std::uintptr_t>(source)) &
        4095;
    return gap != 0 && (gap < 64 || gap > 4096 - 64);
}

// Four vectors a turn, as wide as the C library's copy goes for sizes in cache; the bytes after
// the last whole vector are the last 32 bytes, copied again from their overlapping start. The
// vectors' high bits are gathered and tested once at the end.
[[gnu::target("avx2")]] bool copy_avx2(char* target, const char* source, std::size_t size) {
    if (size < 32) {
        unsigned char any = 0;
        for (std::size_t i = 0; i < size; ++i) {
            target[i] = source[i];
            any |= static_cast<unsigned char>(source[i]);
        }
        return any < 0x80;
    }
    __m256i any = _mm256_setzero_si256();
    std::size_t at = 0;
    for (; size - at >= 128; at += 128) {
        const __m256i a = load(source + at);
        const __m256i b = load(source + at + 32);
        const __m256i c = load(source + at + 64);
        const __m256i d = load(source + at + 96);
        store(target + at, a);
        store(target + at + 32, b);
        store(target + at + 64, c);
        store(target + at + 96, d);
        any = _mm256_or_si256(any, _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d)));
    }
    for (; size - at >= 32; at += 32) {
        const __m256i a = load(source + at);
        store(target + at, a);
        any = _mm256_or_si256(any, a);
    }
    if (at < size) {
        const __m256i last = load(source + size - 32);
        store(target + size - 32, last);
        any = _mm256_or_si256(any, last);
    }
    return _mm256_movemask_epi8(any) == 0;
}
#endif

}  // namespace

bool ascii_copy_kernel_available(AsciiCopyKernel kernel) {
    switch (kernel) {
        case AsciiCopyKernel::plain:
            return true;
        case AsciiCopyKernel::avx2:
            return cpu_has_avx2();
    }
    return false;
}

bool copy_telling_ascii(char* target, const char* source, std::size_t size,
                        AsciiCopyKernel kernel) {
#if defined(VANTOR_X86_KERNELS)
    if (kernel == AsciiCopyKernel::avx2 && !stores_alias_next_loads(target, source))
        return copy_avx2(target, source, size);
#else
    (void)kernel;  // only the plain copy is available
#endif
    if (size != 0) std::memcpy(target, source, size);
    return false;
}

bool copy_telling_ascii(char* target, const char* source, std::size_t size) {
    static const AsciiCopyKernel best = ascii_copy_kernel_available(AsciiCopyKernel::avx2)
                                            ? AsciiCopyKernel::avx2
                                            : AsciiCopyKernel::plain;
    return copy_telling_ascii(target, source, size, best);
}

}  // namespace vantor::text
