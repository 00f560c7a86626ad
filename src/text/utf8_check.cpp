#include "text/utf8_check.h"

#include <cstring>

#include "text/cpu_features.h"
#include "text/string_scan.h"

#if defined(VANTOR_X86_KERNELS)
#include <immintrin.h>
#define VANTOR_UTF8_CHECK_AVX2 1
#elif defined(__aarch64__) || defined(_M_ARM64)
#include <arm_neon.h>
#define VANTOR_UTF8_CHECK_NEON 1
#endif

namespace vantor::text {

namespace {

constexpr std::size_t kStep = 64;

bool check_portable(const unsigned char* p, const unsigned char* end) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    while (p != end) {
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((word & kHighBits) == 0) {
                p += 8;
                continue;
            }
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const std::size_t length = utf8_sequence_length(p, end);
        if (length == 0) return false;
        p += length;
    }
    return true;
}

#if defined(VANTOR_UTF8_CHECK_AVX2) || defined(VANTOR_UTF8_CHECK_NEON)
// The bytes from `p` on, after a vector kernel's last whole step, by the portable kernel, from
// the start of the sequence that step may have left open (its lead and at most two continuation
// bytes before `p`, whose pairs the vector kernel checked): the portable kernel then sees that
// sequence whole, or cut short by the end. Short texts are all rest, with no padded copy to make.
bool check_rest(const unsigned char* begin, const unsigned char* p, const unsigned char* end) {
    const unsigned char* start = p;
    for (int back = 0; back < 3 && start != begin && (start[-1] & 0xc0) == 0x80; ++back)
        --start;
    if (start != begin && start[-1] >= 0xc0) --start;
    return check_portable(start, end);
}

// The errors a byte and the byte after it can make together, one bit each. A pair is ill-formed
// when the entries of the first byte's high half, its low half and the second byte's high half
// share a bit.
constexpr unsigned char kLeadThenNoContinuation = 0x01;  // 11______ then 0_______ or 11______
constexpr unsigned char kContinuationAfterAscii = 0x02;  // 0_______ then 10______
constexpr unsigned char kOverlongThree = 0x04;           // 11100000 then 100_____
constexpr unsigned char kAboveMaximum = 0x08;            // 11110100 then 1001____ or 101_____
constexpr unsigned char kSurrogate = 0x10;               // 11101101 then 101_____
constexpr unsigned char kOverlongTwo = 0x20;             // 1100000_ then 10______
// 11110000 then 1000____ (overlong), or 11110101 and up then 1000____ (above the maximum): the
// low half of the first byte tells them apart from the valid 11110001..11110100 then 1000____.
constexpr unsigned char kFourByteWith1000 = 0x40;
// 10______ then 10______: an error unless the second is a sequence's third or fourth byte,
// which the look two and three bytes back tells.
constexpr unsigned char kTwoContinuations = 0x80;

// Whatever the first byte's low half, these come from its high half and the second byte alone.
constexpr unsigned char kAnyLowHalf =
    kLeadThenNoContinuation | kContinuationAfterAscii | kTwoContinuations;

alignas(16) constexpr unsigned char kFirstHighHalf[16] = {
    // 0_______: ASCII
    kContinuationAfterAscii, kContinuationAfterAscii, kContinuationAfterAscii,
    kContinuationAfterAscii, kContinuationAfterAscii, kContinuationAfterAscii,
    kContinuationAfterAscii, kContinuationAfterAscii,
    // 10______: continuation
    kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,
    // 1100____, 1101____: two-byte leads
    kLeadThenNoContinuation | kOverlongTwo, kLeadThenNoContinuation,
    // 1110____: three-byte leads
    kLeadThenNoContinuation | kOverlongThree | kSurrogate,
    // 1111____: four-byte leads and bytes no sequence starts with
    kLeadThenNoContinuation | kAboveMaximum | kFourByteWith1000};

alignas(16) constexpr unsigned char kFirstLowHalf[16] = {
    kAnyLowHalf | kOverlongThree | kOverlongTwo | kFourByteWith1000,  // ____0000
    kAnyLowHalf | kOverlongTwo,                                       // ____0001
    kAnyLowHalf,
    kAnyLowHalf,
    kAnyLowHalf | kAboveMaximum,  // ____0100: 11110100 is the last four-byte lead
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000,
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000,
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000,
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000,
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000,
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000,
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000,
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000,
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000 | kSurrogate,  // ____1101: 11101101
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000,
    kAnyLowHalf | kAboveMaximum | kFourByteWith1000};

constexpr unsigned char kAnyContinuation =
    kContinuationAfterAscii | kTwoContinuations | kOverlongTwo;

alignas(16) constexpr unsigned char kSecondHighHalf[16] = {
    // 0_______: not a continuation
    kLeadThenNoContinuation, kLeadThenNoContinuation, kLeadThenNoContinuation,
    kLeadThenNoContinuation, kLeadThenNoContinuation, kLeadThenNoContinuation,
    kLeadThenNoContinuation, kLeadThenNoContinuation,
    kAnyContinuation | kOverlongThree | kFourByteWith1000,  // 1000____
    kAnyContinuation | kOverlongThree | kAboveMaximum,      // 1001____
    kAnyContinuation | kSurrogate | kAboveMaximum,          // 1010____
    kAnyContinuation | kSurrogate | kAboveMaximum,          // 1011____
    // 11______: not a continuation
    kLeadThenNoContinuation, kLeadThenNoContinuation, kLeadThenNoContinuation,
    kLeadThenNoContinuation};

// Subtracted with saturation from a vector's bytes, the last 16, 32 or 64 of these leave a
// non-zero byte exactly where a sequence starts that the vector cannot hold whole: a four-byte
// lead in the third byte from the end, a lead of three or four in the second, any lead in the
// last.
alignas(64) constexpr unsigned char kLastCompleteMaximum[64] = {
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xef, 0xdf, 0xbf};
#endif

#if defined(VANTOR_UTF8_CHECK_AVX2)
namespace avx2 {
#define VANTOR_UTF8_KERNEL [[gnu::target("avx2"), gnu::always_inline]]
#define VANTOR_UTF8_ENTRY [[gnu::target("avx2")]]

struct Ops {
    using V = __m256i;
    static constexpr std::size_t kBytes = 32;
    VANTOR_UTF8_KERNEL static V load(const unsigned char* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    VANTOR_UTF8_KERNEL static V zero() { return _mm256_setzero_si256(); }
    VANTOR_UTF8_KERNEL static V splat(unsigned char byte) {
        return _mm256_set1_epi8(static_cast<char>(byte));
    }
    VANTOR_UTF8_KERNEL static V and_(V a, V b) { return _mm256_and_si256(a, b); }
    VANTOR_UTF8_KERNEL static V or_(V a, V b) { return _mm256_or_si256(a, b); }
    VANTOR_UTF8_KERNEL static V xor_(V a, V b) { return _mm256_xor_si256(a, b); }
    VANTOR_UTF8_KERNEL static V subs(V a, V b) { return _mm256_subs_epu8(a, b); }
    // The table in both 16-byte lanes, as the byte shuffle looks up within each lane.
    VANTOR_UTF8_KERNEL static V lookup(const unsigned char (&table)[16], V v, bool high) {
        const V halves = _mm256_and_si256(high ? _mm256_srli_epi16(v, 4) : v, splat(0x0f));
        return _mm256_shuffle_epi8(
            _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table))),
            halves);
    }
    template <int kBack>
    VANTOR_UTF8_KERNEL static V before(V current, V previous) {
        return _mm256_alignr_epi8(current, _mm256_permute2x128_si256(previous, current, 0x21),
                                  16 - kBack);
    }
    VANTOR_UTF8_KERNEL static bool is_ascii(V v) { return _mm256_movemask_epi8(v) == 0; }
    VANTOR_UTF8_KERNEL static bool is_zero(V v) { return _mm256_testz_si256(v, v) != 0; }
    VANTOR_UTF8_KERNEL static V last_complete_maximum() {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(kLastCompleteMaximum + 32));
    }
};

#include "text/utf8_vector_kernel.h"
#undef VANTOR_UTF8_KERNEL
#undef VANTOR_UTF8_ENTRY
}  // namespace avx2

// With AVX-512's byte and word instructions (BW): each table lookup works within 16-byte lanes,
// as with AVX2, with the table in every lane.
namespace avx512 {
#define VANTOR_UTF8_KERNEL [[gnu::target("avx512f,avx512bw"), gnu::always_inline]]
#define VANTOR_UTF8_ENTRY [[gnu::target("avx512f,avx512bw")]]

struct Ops {
    using V = __m512i;
    static constexpr std::size_t kBytes = 64;
    VANTOR_UTF8_KERNEL static V load(const unsigned char* p) { return _mm512_loadu_si512(p); }
    VANTOR_UTF8_KERNEL static V zero() { return _mm512_setzero_si512(); }
    VANTOR_UTF8_KERNEL static V splat(unsigned char byte) {
        return _mm512_set1_epi8(static_cast<char>(byte));
    }
    VANTOR_UTF8_KERNEL static V and_(V a, V b) { return _mm512_and_si512(a, b); }
    VANTOR_UTF8_KERNEL static V or_(V a, V b) { return _mm512_or_si512(a, b); }
    VANTOR_UTF8_KERNEL static V xor_(V a, V b) { return _mm512_xor_si512(a, b); }
    VANTOR_UTF8_KERNEL static V subs(V a, V b) { return _mm512_subs_epu8(a, b); }
    VANTOR_UTF8_KERNEL static V lookup(const unsigned char (&table)[16], V v, bool high) {
        const V halves = _mm512_and_si512(high ? _mm512_srli_epi16(v, 4) : v, splat(0x0f));
        return _mm512_shuffle_epi8(
            _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(table))),
            halves);
    }
    // Each 16-byte lane of `current` beside the lane before it, the first beside `previous`'s
    // last.
    template <int kBack>
    VANTOR_UTF8_KERNEL static V before(V current, V previous) {
        return _mm512_alignr_epi8(current, _mm512_alignr_epi64(current, previous, 6), 16 - kBack);
    }
    VANTOR_UTF8_KERNEL static bool is_ascii(V v) { return _mm512_movepi8_mask(v) == 0; }
    VANTOR_UTF8_KERNEL static bool is_zero(V v) { return _mm512_test_epi8_mask(v, v) == 0; }
    VANTOR_UTF8_KERNEL static V last_complete_maximum() {
        return _mm512_load_si512(kLastCompleteMaximum);
    }
};

#include "text/utf8_vector_kernel.h"
#undef VANTOR_UTF8_KERNEL
#undef VANTOR_UTF8_ENTRY
}  // namespace avx512
#endif

#if defined(VANTOR_UTF8_CHECK_NEON)
namespace neon {
#define VANTOR_UTF8_KERNEL [[gnu::always_inline]]
#define VANTOR_UTF8_ENTRY

struct Ops {
    using V = uint8x16_t;
    static constexpr std::size_t kBytes = 16;
    VANTOR_UTF8_KERNEL static V load(const unsigned char* p) { return vld1q_u8(p); }
    VANTOR_UTF8_KERNEL static V zero() { return vdupq_n_u8(0); }
    VANTOR_UTF8_KERNEL static V splat(unsigned char byte) { return vdupq_n_u8(byte); }
    VANTOR_UTF8_KERNEL static V and_(V a, V b) { return vandq_u8(a, b); }
    VANTOR_UTF8_KERNEL static V or_(V a, V b) { return vorrq_u8(a, b); }
    VANTOR_UTF8_KERNEL static V xor_(V a, V b) { return veorq_u8(a, b); }
    VANTOR_UTF8_KERNEL static V subs(V a, V b) { return vqsubq_u8(a, b); }
    VANTOR_UTF8_KERNEL static V lookup(const unsigned char (&table)[16], V v, bool high) {
        return vqtbl1q_u8(vld1q_u8(table), high ? vshrq_n_u8(v, 4) : vandq_u8(v, splat(0x0f)));
    }
    template <int kBack>
    VANTOR_UTF8_KERNEL static V before(V current, V previous) {
        return vextq_u8(previous, current, 16 - kBack);
    }
    VANTOR_UTF8_KERNEL static bool is_ascii(V v) { return vmaxvq_u8(v) < 0x80; }
    VANTOR_UTF8_KERNEL static bool is_zero(V v) { return vmaxvq_u8(v) == 0; }
    VANTOR_UTF8_KERNEL static V last_complete_maximum() {
        return vld1q_u8(kLastCompleteMaximum + 48);
    }
};

#include "text/utf8_vector_kernel.h"
#undef VANTOR_UTF8_KERNEL
#undef VANTOR_UTF8_ENTRY
}  // namespace neon
#endif

}  // namespace

bool utf8_kernel_available(Utf8Kernel kernel) {
    switch (kernel) {
        case Utf8Kernel::portable:
            return true;
        case Utf8Kernel::avx2:
            return cpu_has_avx2();
        case Utf8Kernel::avx512:
            return cpu_has_avx512bw();
        case Utf8Kernel::neon:
#if defined(VANTOR_UTF8_CHECK_NEON)
            return true;
#else
            return false;
#endif
    }
    return false;
}

Utf8Kernel best_utf8_kernel() {
    // AVX2 before AVX-512: on the AMD EPYC (AVX-512) machines we measure on, the AVX2 kernel
    // checks ASCII text faster and other text as fast (bench/cpp/utf8_check_bench.cpp).
    // The AVX-512 kernel stays for machines where it wins, and is tested on every machine that
    // runs it.
    if (utf8_kernel_available(Utf8Kernel::avx2)) return Utf8Kernel::avx2;
    if (utf8_kernel_available(Utf8Kernel::avx512)) return Utf8Kernel::avx512;
    if (utf8_kernel_available(Utf8Kernel::neon)) return Utf8Kernel::neon;
    return Utf8Kernel::portable;
}

bool is_well_formed_utf8(std::string_view text, Utf8Kernel kernel) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = p + text.size();
    // Less than a step is all rest: the vector kernels would only set up their state.
    if (text.size() < kStep) return check_portable(p, end);
    switch (kernel) {
#if defined(VANTOR_UTF8_CHECK_AVX2)
        case Utf8Kernel::avx512:
            return avx512::check(p, end);
        case Utf8Kernel::avx2:
            return avx2::check(p, end);
#endif
#if defined(VANTOR_UTF8_CHECK_NEON)
        case Utf8Kernel::neon:
            return neon::check(p, end);
#endif
        default:
            return check_portable(p, end);
    }
}

}  // namespace vantor::text
