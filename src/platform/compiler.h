#pragma once
// What the compilers that build the core spell differently, in one place. GCC and Clang (also
// MinGW-w64's GCC, which builds the Windows module) take the first branch of each choice below;
// MSVC, and clang-cl, which follows MSVC, the second; any other compiler plain C++. The rest of
// src/ is standard C++20 and the SSE2, AVX2, AVX-512 and NEON intrinsics that all of them have.
// Its [[gnu::always_inline]], [[gnu::noinline]] and [[gnu::target]] attributes are standard
// attribute syntax: a compiler that does not know them ignores them (MSVC's warning C5030, which
// CMakeLists.txt turns off), at a cost in speed only.
#include <cstdint>

#if defined(__GNUC__)
#define VANTOR_COMPILER_GNU 1
#elif defined(_MSC_VER)
#define VANTOR_COMPILER_MSVC 1
#include <intrin.h>
#endif

// On a lambda, GCC and Clang take the always-inline attribute only in their own spelling (the
// standard one would appertain to the lambda's type). MSVC has none for lambdas and inlines the
// small ones that carry it anyway.
#if defined(VANTOR_COMPILER_GNU)
#define VANTOR_LAMBDA_ALWAYS_INLINE __attribute__((always_inline))
#else
#define VANTOR_LAMBDA_ALWAYS_INLINE
#endif

// Where the processor can be asked at run time what it offers (text/cpu_features.h), so that
// AVX2 and AVX-512 kernels are compiled beside the baseline code.
#if (defined(VANTOR_COMPILER_GNU) && defined(__x86_64__)) || \
    (defined(VANTOR_COMPILER_MSVC) && defined(_M_X64))
#define VANTOR_X86_CPU_FEATURES 1
#endif

namespace vantor::platform {

// A 128-bit product, as its two 64-bit halves.
struct U128 {
    std::uint64_t high;
    std::uint64_t low;
};

// The product from 32-bit halves, for compilers that offer no wider product.
inline U128 multiply_64x64_portable(std::uint64_t a, std::uint64_t b) {
    std::uint64_t a_low = a & 0xffffffffu, a_high = a >> 32;
    std::uint64_t b_low = b & 0xffffffffu, b_high = b >> 32;
    std::uint64_t low_low = a_low * b_low;
    std::uint64_t high_low = a_high * b_low;
    std::uint64_t low_high = a_low * b_high;
    std::uint64_t high_high = a_high * b_high;
    std::uint64_t middle = (low_low >> 32) + (high_low & 0xffffffffu) + low_high;
    return {high_high + (high_low >> 32) + (middle >> 32),
            (middle << 32) | (low_low & 0xffffffffu)};
}

// The full product of two 64-bit numbers: one multiplication on 64-bit machines.
inline U128 multiply_64x64(std::uint64_t a, std::uint64_t b) {
#if defined(VANTOR_COMPILER_GNU) && defined(__SIZEOF_INT128__)
    __extension__ using uint128 = unsigned __int128;
    uint128 product = static_cast<uint128>(a) * b;
    return {static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product)};
#elif defined(VANTOR_COMPILER_MSVC) && defined(_M_X64)
    unsigned long long high;
    const unsigned long long low = _umul128(a, b, &high);
    return {high, low};
#elif defined(VANTOR_COMPILER_MSVC) && defined(_M_ARM64)
    return {__umulh(a, b), a * b};
#else
    return multiply_64x64_portable(a, b);
#endif
}

// Whether x86 processor state allows AVX2, and AVX-512F with AVX-512BW, from CPUID leaf 1's ECX,
// leaf 7's EBX (subleaf 0) and XCR0: the processor has the instructions (leaf 7), and the
// operating system saves the registers they use (OSXSAVE in leaf 1, the state bits of XCR0). GCC's
// and Clang's __builtin_cpu_supports decide the same way; these serve the other compilers.
inline bool x86_avx2_usable(std::uint32_t leaf1_ecx, std::uint32_t leaf7_ebx, std::uint64_t xcr0) {
    constexpr std::uint32_t kOsxsave = 1u << 27;
    constexpr std::uint64_t kXmmYmmState = 0x6;
    return (leaf1_ecx & kOsxsave) != 0 && (xcr0 & kXmmYmmState) == kXmmYmmState &&
           (leaf7_ebx & (1u << 5)) != 0;
}

inline bool x86_avx512bw_usable(std::uint32_t leaf1_ecx, std::uint32_t leaf7_ebx,
                                std::uint64_t xcr0) {
    constexpr std::uint32_t kOsxsave = 1u << 27;
    // XMM, YMM, the opmask registers, and the upper halves of ZMM0-15 and ZMM16-31.
    constexpr std::uint64_t kZmmState = 0xe6;
    constexpr std::uint32_t kAvx512FAndBw = (1u << 16) | (1u << 30);
    return (leaf1_ecx & kOsxsave) != 0 && (xcr0 & kZmmState) == kZmmState &&
           (leaf7_ebx & kAvx512FAndBw) == kAvx512FAndBw;
}

#if defined(VANTOR_X86_CPU_FEATURES) && defined(VANTOR_COMPILER_MSVC)
struct X86State {
    std::uint32_t leaf1_ecx = 0;
    std::uint32_t leaf7_ebx = 0;
    std::uint64_t xcr0 = 0;
};

// Asked once per process: CPUID can cost microseconds in a virtual machine.
inline const X86State& x86_state() {
    static const X86State state = [] {
        X86State asked;
        int registers[4];
        __cpuid(registers, 0);
        const int highest_leaf = registers[0];
        __cpuid(registers, 1);
        asked.leaf1_ecx = static_cast<std::uint32_t>(registers[2]);
        if (highest_leaf >= 7) {
            __cpuidex(registers, 7, 0);
            asked.leaf7_ebx = static_cast<std::uint32_t>(registers[1]);
        }
        // XGETBV faults where the operating system has not enabled it (OSXSAVE clear).
        if ((asked.leaf1_ecx & (1u << 27)) != 0) asked.xcr0 = _xgetbv(0);
        return asked;
    }();
    return state;
}
#endif

#if defined(VANTOR_X86_CPU_FEATURES)
inline bool cpu_supports_avx2() {
#if defined(VANTOR_COMPILER_GNU)
    return __builtin_cpu_supports("avx2");
#else
    const X86State& state = x86_state();
    return x86_avx2_usable(state.leaf1_ecx, state.leaf7_ebx, state.xcr0);
#endif
}

inline bool cpu_supports_avx512bw() {
#if defined(VANTOR_COMPILER_GNU)
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#else
    const X86State& state = x86_state();
    return x86_avx512bw_usable(state.leaf1_ecx, state.leaf7_ebx, state.xcr0);
#endif
}
#endif

}  // namespace vantor::platform
