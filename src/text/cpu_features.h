#pragma once
// What the machine's processor offers the kernels chosen at run time (the UTF-8 check, the
// long-string scan): one answer per instruction set, asked in one place. Compiled where the
// compiler can ask the processor (platform/compiler.h: GCC, Clang and MSVC on x86-64); elsewhere
// every answer is no.
#include "platform/compiler.h"

namespace vantor::text {

#if defined(VANTOR_X86_CPU_FEATURES)
#define VANTOR_X86_KERNELS 1
#endif

// AVX2.
inline bool cpu_has_avx2() {
#if defined(VANTOR_X86_KERNELS)
    return platform::cpu_supports_avx2();
#else
    return false;
#endif
}

// AVX-512 with byte and word instructions (AVX-512F and AVX-512BW).
inline bool cpu_has_avx512bw() {
#if defined(VANTOR_X86_KERNELS)
    return platform::cpu_supports_avx512bw();
#else
    return false;
#endif
}

}  // namespace vantor::text
