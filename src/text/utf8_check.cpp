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

// Subtracted with saturation from a vector's bytes, the last 16 or 32 of these leave a non-zero
// byte exactly where a sequence starts that the vector cannot hold whole: a four-byte lead in
// the third byte from the end, a lead of three or four in the second, any lead in the last.
alignas(32) constexpr unsigned char kLastCompleteMaximum[32] = {
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xef, 0xdf, 0xbf};
#endif

#if defined(VANTOR_UTF8_CHECK_AVX2)
[[gnu::target("avx2"),
  gnu::always_inline]] inline __m256i table_avx2(const unsigned char (&table)[16]) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
}

// The bytes of `current` shifted back by `kBack` (1 to 3), the last bytes of `previous` in front.
template <int kBack>
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i bytes_before_avx2(__m256i current,
                                                                             __m256i previous) {
    return _mm256_alignr_epi8(current, _mm256_permute2x128_si256(previous, current, 0x21),
                              16 - kBack);
}

// Set up by check_avx2: a member initializer would not take on its target.
struct Utf8StateAvx2 {
    __m256i error;
    __m256i previous;
    // Non-zero where the vector checked last ends inside a sequence.
    __m256i incomplete;
};

[[gnu::target("avx2"), gnu::always_inline]] inline void check_32_avx2(__m256i current,
                                                                      Utf8StateAvx2& state) {
    const __m256i low_half_mask = _mm256_set1_epi8(0x0f);
    const __m256i before1 = bytes_before_avx2<1>(current, state.previous);
    const __m256i first_high = _mm256_shuffle_epi8(
        table_avx2(kFirstHighHalf), _mm256_and_si256(_mm256_srli_epi16(before1, 4), low_half_mask));
    const __m256i first_low =
        _mm256_shuffle_epi8(table_avx2(kFirstLowHalf), _mm256_and_si256(before1, low_half_mask));
    const __m256i second_high =
        _mm256_shuffle_epi8(table_avx2(kSecondHighHalf),
                            _mm256_and_si256(_mm256_srli_epi16(current, 4), low_half_mask));
    const __m256i pair_errors =
        _mm256_and_si256(_mm256_and_si256(first_high, first_low), second_high);
    // A byte whose byte two back is a lead of three or four, or three back a lead of four, must
    // be a continuation after a continuation: the pair tables marked exactly that case.
    const __m256i third = _mm256_subs_epu8(bytes_before_avx2<2>(current, state.previous),
                                           _mm256_set1_epi8(static_cast<char>(0xe0 - 0x80)));
    const __m256i fourth = _mm256_subs_epu8(bytes_before_avx2<3>(current, state.previous),
                                            _mm256_set1_epi8(static_cast<char>(0xf0 - 0x80)));
    const __m256i must_continue =
        _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(static_cast<char>(0x80)));
    state.error = _mm256_or_si256(state.error, _mm256_xor_si256(must_continue, pair_errors));
    state.previous = current;
}

[[gnu::target("avx2"), gnu::always_inline]] inline void check_64_avx2(const unsigned char* p,
                                                                      Utf8StateAvx2& state) {
    const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    if (_mm256_movemask_epi8(_mm256_or_si256(first, second)) == 0) {
        // ASCII: a sequence the last block left open is cut short.
        state.error = _mm256_or_si256(state.error, state.incomplete);
        state.incomplete = _mm256_setzero_si256();
        state.previous = second;
        return;
    }
    check_32_avx2(first, state);
    check_32_avx2(second, state);
    state.incomplete = _mm256_subs_epu8(
        second, _mm256_load_si256(reinterpret_cast<const __m256i*>(kLastCompleteMaximum)));
}

[[gnu::target("avx2")]] bool check_avx2(const unsigned char* begin, const unsigned char* end) {
    Utf8StateAvx2 state{_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
    const unsigned char* p = begin;
    for (; end - p >= static_cast<std::ptrdiff_t>(kStep); p += kStep) {
        check_64_avx2(p, state);
    }
    return _mm256_testz_si256(state.error, state.error) != 0 && check_rest(begin, p, end);
}
#endif

#if defined(VANTOR_UTF8_CHECK_AVX2)
// The same check 64 bytes at a time with AVX-512 (its byte instructions, BW): each table lookup
// works within 16-byte lanes, as in AVX2, with the table in every lane.
#define VANTOR_AVX512_TARGET gnu::target("avx512f,avx512bw")

struct Utf8StateAvx512 {
    __m512i error;
    __m512i previous;
    __m512i incomplete;
};

[[VANTOR_AVX512_TARGET, gnu::always_inline]] inline __m512i table_avx512(
    const unsigned char (&table)[16]) {
    return _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
}

template <int kBack>
[[VANTOR_AVX512_TARGET, gnu::always_inline]] inline __m512i bytes_before_avx512(__m512i current,
                                                                                __m512i previous) {
    // Each 16-byte lane of `current` beside the lane before it, the first beside `previous`'s
    // last.
    const __m512i lanes_before = _mm512_alignr_epi64(current, previous, 6);
    return _mm512_alignr_epi8(current, lanes_before, 16 - kBack);
}

[[VANTOR_AVX512_TARGET, gnu::always_inline]] inline void check_64_avx512(const unsigned char* p,
                                                                         Utf8StateAvx512& state) {
    const __m512i current = _mm512_loadu_si512(p);
    if (_mm512_movepi8_mask(current) == 0) {
        state.error = _mm512_or_si512(state.error, state.incomplete);
        state.incomplete = _mm512_setzero_si512();
        state.previous = current;
        return;
    }
    const __m512i low_half_mask = _mm512_set1_epi8(0x0f);
    const __m512i before1 = bytes_before_avx512<1>(current, state.previous);
    const __m512i first_high =
        _mm512_shuffle_epi8(table_avx512(kFirstHighHalf),
                            _mm512_and_si512(_mm512_srli_epi16(before1, 4), low_half_mask));
    const __m512i first_low =
        _mm512_shuffle_epi8(table_avx512(kFirstLowHalf), _mm512_and_si512(before1, low_half_mask));
    const __m512i second_high =
        _mm512_shuffle_epi8(table_avx512(kSecondHighHalf),
                            _mm512_and_si512(_mm512_srli_epi16(current, 4), low_half_mask));
    const __m512i pair_errors =
        _mm512_and_si512(_mm512_and_si512(first_high, first_low), second_high);
    const __m512i third = _mm512_subs_epu8(bytes_before_avx512<2>(current, state.previous),
                                           _mm512_set1_epi8(static_cast<char>(0xe0 - 0x80)));
    const __m512i fourth = _mm512_subs_epu8(bytes_before_avx512<3>(current, state.previous),
                                            _mm512_set1_epi8(static_cast<char>(0xf0 - 0x80)));
    const __m512i must_continue =
        _mm512_and_si512(_mm512_or_si512(third, fourth), _mm512_set1_epi8(static_cast<char>(0x80)));
    state.error = _mm512_or_si512(state.error, _mm512_xor_si512(must_continue, pair_errors));
    // The last 32 of kLastCompleteMaximum's bytes in the top half, all ones below.
    const __m512i last_complete_maximum = _mm512_inserti64x4(
        _mm512_set1_epi8(static_cast<char>(0xff)),
        _mm256_load_si256(reinterpret_cast<const __m256i*>(kLastCompleteMaximum)), 1);
    state.incomplete = _mm512_subs_epu8(current, last_complete_maximum);
    state.previous = current;
}

[[VANTOR_AVX512_TARGET]] bool check_avx512(const unsigned char* begin, const unsigned char* end) {
    Utf8StateAvx512 state{_mm512_setzero_si512(), _mm512_setzero_si512(), _mm512_setzero_si512()};
    const unsigned char* p = begin;
    for (; end - p >= static_cast<std::ptrdiff_t>(kStep); p += kStep) {
        check_64_avx512(p, state);
    }
    return _mm512_test_epi8_mask(state.error, state.error) == 0 && check_rest(begin, p, end);
}
#undef VANTOR_AVX512_TARGET
#endif

#if defined(VANTOR_UTF8_CHECK_NEON)
struct Utf8StateNeon {
    uint8x16_t error = vdupq_n_u8(0);
    uint8x16_t previous = vdupq_n_u8(0);
    uint8x16_t incomplete = vdupq_n_u8(0);
};

inline void check_16_neon(uint8x16_t current, Utf8StateNeon& state) {
    const uint8x16_t before1 = vextq_u8(state.previous, current, 15);
    const uint8x16_t first_high = vqtbl1q_u8(vld1q_u8(kFirstHighHalf), vshrq_n_u8(before1, 4));
    const uint8x16_t first_low =
        vqtbl1q_u8(vld1q_u8(kFirstLowHalf), vandq_u8(before1, vdupq_n_u8(0x0f)));
    const uint8x16_t second_high = vqtbl1q_u8(vld1q_u8(kSecondHighHalf), vshrq_n_u8(current, 4));
    const uint8x16_t pair_errors = vandq_u8(vandq_u8(first_high, first_low), second_high);
    const uint8x16_t third =
        vqsubq_u8(vextq_u8(state.previous, current, 14), vdupq_n_u8(0xe0 - 0x80));
    const uint8x16_t fourth =
        vqsubq_u8(vextq_u8(state.previous, current, 13), vdupq_n_u8(0xf0 - 0x80));
    const uint8x16_t must_continue = vandq_u8(vorrq_u8(third, fourth), vdupq_n_u8(0x80));
    state.error = vorrq_u8(state.error, veorq_u8(must_continue, pair_errors));
    state.previous = current;
}

inline void check_64_neon(const unsigned char* p, Utf8StateNeon& state) {
    const uint8x16_t a = vld1q_u8(p);
    const uint8x16_t b = vld1q_u8(p + 16);
    const uint8x16_t c = vld1q_u8(p + 32);
    const uint8x16_t d = vld1q_u8(p + 48);
    if (vmaxvq_u8(vorrq_u8(vorrq_u8(a, b), vorrq_u8(c, d))) < 0x80) {
        state.error = vorrq_u8(state.error, state.incomplete);
        state.incomplete = vdupq_n_u8(0);
        state.previous = d;
        return;
    }
    check_16_neon(a, state);
    check_16_neon(b, state);
    check_16_neon(c, state);
    check_16_neon(d, state);
    state.incomplete = vqsubq_u8(d, vld1q_u8(kLastCompleteMaximum + 16));
}

bool check_neon(const unsigned char* begin, const unsigned char* end) {
    Utf8StateNeon state;
    const unsigned char* p = begin;
    for (; end - p >= static_cast<std::ptrdiff_t>(kStep); p += kStep) {
        check_64_neon(p, state);
    }
    return vmaxvq_u8(state.error) == 0 && check_rest(begin, p, end);
}
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
    // checks ASCII text a fifth faster and other text as fast (bench/cpp/utf8_check_bench.cpp).
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
            return check_avx512(p, end);
        case Utf8Kernel::avx2:
            return check_avx2(p, end);
#endif
#if defined(VANTOR_UTF8_CHECK_NEON)
        case Utf8Kernel::neon:
            return check_neon(p, end);
#endif
        default:
            return check_portable(p, end);
    }
}

}  // namespace vantor::text
