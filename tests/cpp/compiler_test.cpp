// What platform/compiler.h gives in place of compiler-specific code: the 128-bit product, against
// known products and a product of 16-bit digits written here, in the branch this compiler takes
// and in the portable one; and the reading of x86 processor state that serves compilers without
// __builtin_cpu_supports, against chosen register values and, on x86-64 with GCC or Clang,
// against __builtin_cpu_supports on this machine.
#include "platform/compiler.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>

#if defined(__GNUC__) && defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

using vantor::platform::U128;

// The product by schoolbook multiplication of 16-bit digits, least significant first.
U128 product_by_digits(std::uint64_t a, std::uint64_t b) {
    std::array<std::uint64_t, 8> digits{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            digits[i + j] += ((a >> (16 * i)) & 0xffff) * ((b >> (16 * j)) & 0xffff);
        }
    }
    for (int k = 0; k < 7; ++k) {
        digits[k + 1] += digits[k] >> 16;
        digits[k] &= 0xffff;
    }
    U128 product{0, 0};
    for (int k = 0; k < 4; ++k) {
        product.low |= digits[k] << (16 * k);
        product.high |= digits[k + 4] << (16 * k);
    }
    return product;
}

struct Product {
    std::uint64_t a, b, high, low;
};

constexpr Product kKnownProducts[] = {
    {0, 0xffffffffffffffff, 0, 0},
    {1, 0xffffffffffffffff, 0, 0xffffffffffffffff},
    {0xffffffffffffffff, 0xffffffffffffffff, 0xfffffffffffffffe, 1},
    {0x100000000, 0x100000000, 1, 0},
    {0xffffffff, 0xffffffff, 0, 0xfffffffe00000001},
    {0x8000000000000000, 2, 1, 0},
    {0x123456789abcdef0, 0x0fedcba987654321, 0x0121fa00ad77d742, 0x2236d88fe5618cf0},
};

TEST(Multiply64x64, GivesKnownProducts) {
    for (const Product& known : kKnownProducts) {
        for (const U128 product : {vantor::platform::multiply_64x64(known.a, known.b),
                                   vantor::platform::multiply_64x64(known.b, known.a),
                                   vantor::platform::multiply_64x64_portable(known.a, known.b)}) {
            EXPECT_EQ(product.high, known.high) << std::hex << known.a << " * " << known.b;
            EXPECT_EQ(product.low, known.low) << std::hex << known.a << " * " << known.b;
        }
    }
}

TEST(Multiply64x64, AgreesWithSixteenBitDigitsOnRandomNumbers) {
    std::mt19937_64 random(20261208);
    for (int i = 0; i < 100000; ++i) {
        // Random widths too, so that short factors and carries across halves both come up.
        const std::uint64_t a = random() >> (random() % 64);
        const std::uint64_t b = random() >> (random() % 64);
        const U128 expected = product_by_digits(a, b);
        for (const U128 product : {vantor::platform::multiply_64x64(a, b),
                                   vantor::platform::multiply_64x64_portable(a, b)}) {
            ASSERT_EQ(product.high, expected.high) << std::hex << a << " * " << b;
            ASSERT_EQ(product.low, expected.low) << std::hex << a << " * " << b;
        }
    }
}

constexpr std::uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28;
constexpr std::uint64_t kAllState = 0xe7;
constexpr std::uint32_t kAvx2 = 1u << 5, kAvx512F = 1u << 16, kAvx512Bw = 1u << 30;

struct X86Case {
    const char* what;
    std::uint32_t leaf1_ecx, leaf7_ebx;
    std::uint64_t xcr0;
    bool avx2, avx512bw;
};

constexpr X86Case kX86Cases[] = {
    {"everything", kOsxsave | kAvx, kAvx2 | kAvx512F | kAvx512Bw, kAllState, true, true},
    {"AVX2 only", kOsxsave | kAvx, kAvx2, 0x7, true, false},
    {"no AVX2 instructions", kOsxsave | kAvx, kAvx512F | kAvx512Bw, kAllState, false, true},
    {"AVX-512F without BW", kOsxsave | kAvx, kAvx2 | kAvx512F, kAllState, true, false},
    {"AVX-512BW without F", kOsxsave | kAvx, kAvx2 | kAvx512Bw, kAllState, true, false},
    {"system saves no YMM state", kOsxsave | kAvx, kAvx2 | kAvx512F | kAvx512Bw, kAllState & ~0x4u,
     false, false},
    {"system saves no ZMM state", kOsxsave | kAvx, kAvx2 | kAvx512F | kAvx512Bw, 0x7, true, false},
    {"system saves no opmask state", kOsxsave | kAvx, kAvx2 | kAvx512F | kAvx512Bw,
     kAllState & ~0x20u, true, false},
    {"system saves no upper ZMM registers", kOsxsave | kAvx, kAvx2 | kAvx512F | kAvx512Bw,
     kAllState & ~0x80u, true, false},
    {"no OSXSAVE", kAvx, kAvx2 | kAvx512F | kAvx512Bw, kAllState, false, false},
    {"nothing", 0, 0, 0, false, false},
};

TEST(X86State, DecidesFromTheRegisters) {
    for (const X86Case& c : kX86Cases) {
        EXPECT_EQ(vantor::platform::x86_avx2_usable(c.leaf1_ecx, c.leaf7_ebx, c.xcr0), c.avx2)
            << c.what;
        EXPECT_EQ(vantor::platform::x86_avx512bw_usable(c.leaf1_ecx, c.leaf7_ebx, c.xcr0),
                  c.avx512bw)
            << c.what;
    }
}

#if defined(__GNUC__) && defined(__x86_64__)
// The registers read the way the MSVC branch reads them, here through GCC's and Clang's cpuid.h,
// decide as the compiler's own runtime does on this machine.
TEST(X86State, AgreesWithTheCompilersRuntimeOnThisMachine) {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    ASSERT_TRUE(__get_cpuid(1, &eax, &ebx, &ecx, &edx));
    const std::uint32_t leaf1_ecx = ecx;
    std::uint32_t leaf7_ebx = 0;
    if (__get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        leaf7_ebx = ebx;
    }
    std::uint64_t xcr0 = 0;
    if ((leaf1_ecx & kOsxsave) != 0) {
        unsigned low, high;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        xcr0 = (static_cast<std::uint64_t>(high) << 32) | low;
    }
    EXPECT_EQ(vantor::platform::x86_avx2_usable(leaf1_ecx, leaf7_ebx, xcr0),
              __builtin_cpu_supports("avx2") != 0);
    EXPECT_EQ(vantor::platform::x86_avx512bw_usable(leaf1_ecx, leaf7_ebx, xcr0),
              __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"));
    EXPECT_EQ(vantor::platform::cpu_supports_avx2(), __builtin_cpu_supports("avx2") != 0);
}
#endif

}  // namespace
