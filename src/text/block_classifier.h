#pragma once
// The classes of the bytes of a 64-byte block as bit masks, bit i for byte i: quotes,
// backslashes, structural characters ({}[]:,), JSON whitespace, control bytes (below 0x20) and
// non-ASCII bytes (0x80 and up). The structural index (tape/structural_index.h) finds strings and
// tokens from these masks with word arithmetic instead of looking at each byte.
//
// One kernel per instruction set: a portable one in plain 64-bit arithmetic, SSE2 (the x86-64
// baseline, Windows x64 included), AVX2 where the processor has it (chosen at run time, so the
// build needs no flag), and Advanced SIMD on aarch64. Each is a function of its own, so that the
// tests compare every kernel the machine can run with the portable one and with a per-byte
// definition.
#include <bit>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VANTOR_BLOCK_CLASSIFIER_SSE2 1
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define VANTOR_BLOCK_CLASSIFIER_AVX2 1
#endif
#elif defined(__aarch64__) || defined(_M_ARM64)
#include <arm_neon.h>
#define VANTOR_BLOCK_CLASSIFIER_NEON 1
#endif

namespace vantor::json {

inline constexpr int kBlockSize = 64;

struct BlockClasses {
    std::uint64_t quote;
    std::uint64_t backslash;
    std::uint64_t structural;
    std::uint64_t whitespace;
    std::uint64_t control;
    std::uint64_t non_ascii;

    bool operator==(const BlockClasses&) const = default;
};

namespace block_classifier_detail {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// High bit set in exactly the bytes of `word` that are zero. Adding 0x7f to the low seven bits
// sets the high bit of every byte whose low bits are not all clear, and no carry leaves a byte,
// so unlike the borrow trick of the string scan no byte is marked by its neighbour.
inline std::uint64_t zero_bytes(std::uint64_t word) {
    return ~(((word & kLow7) + kLow7) | word) & kHighBits;
}

inline std::uint64_t bytes_equal(std::uint64_t word, unsigned char value) {
    return zero_bytes(word ^ (kOnes * value));
}

// High bit set in exactly the bytes below 0x20: their low seven bits plus 0x60 stay below 0x80,
// and their own high bit is clear.
inline std::uint64_t bytes_below_space(std::uint64_t word) {
    return ~(((word & kLow7) + kOnes * 0x60) | word) & kHighBits;
}

// Eight high bits, one per byte, gathered into the low eight bits in byte order: the product
// puts byte i's bit at bit 56 + i and no two partial products meet.
inline std::uint64_t gather_high_bits(std::uint64_t high) {
    return ((high >> 7) * 0x0102040810204080ULL) >> 56;
}

}  // namespace block_classifier_detail

// Plain 64-bit arithmetic, eight bytes per word, on any machine.
inline BlockClasses classify_block_portable(const unsigned char* block) {
    using namespace block_classifier_detail;
    BlockClasses classes{};
    for (int word_index = 0; word_index < kBlockSize / 8; ++word_index) {
        const unsigned char* bytes = block + word_index * 8;
        std::uint64_t word = 0;
        // Byte 0 in the low bits whatever the machine's byte order; a plain load where it is
        // little-endian.
        for (int i = 0; i < 8; ++i)
            word |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
        const int shift = word_index * 8;
        std::uint64_t structural = bytes_equal(word, '{') | bytes_equal(word, '}') |
                                   bytes_equal(word, '[') | bytes_equal(word, ']') |
                                   bytes_equal(word, ':') | bytes_equal(word, ',');
        std::uint64_t whitespace = bytes_equal(word, ' ') | bytes_equal(word, '\t') |
                                   bytes_equal(word, '\n') | bytes_equal(word, '\r');
        classes.quote |= gather_high_bits(bytes_equal(word, '"')) << shift;
        classes.backslash |= gather_high_bits(bytes_equal(word, '\\')) << shift;
        classes.structural |= gather_high_bits(structural) << shift;
        classes.whitespace |= gather_high_bits(whitespace) << shift;
        classes.control |= gather_high_bits(bytes_below_space(word)) << shift;
        classes.non_ascii |= gather_high_bits(word & kHighBits) << shift;
    }
    return classes;
}

#if defined(VANTOR_BLOCK_CLASSIFIER_SSE2)
namespace block_classifier_detail {

// The masks of sixteen bytes, to be placed at bit `shift` of the block's masks.
inline void classify_16_sse2(__m128i bytes, int shift, BlockClasses& classes) {
    auto mask = [](__m128i lanes) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(lanes)));
    };
    auto equal = [bytes](char value) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(value)); };
    __m128i structural = _mm_or_si128(
        _mm_or_si128(_mm_or_si128(equal('{'), equal('}')), _mm_or_si128(equal('['), equal(']'))),
        _mm_or_si128(equal(':'), equal(',')));
    __m128i whitespace =
        _mm_or_si128(_mm_or_si128(equal(' '), equal('\t')), _mm_or_si128(equal('\n'), equal('\r')));
    // Signed, the bytes from 0x80 up are negative: below 0x20 are they and the control bytes.
    std::uint64_t below_space = mask(_mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)));
    std::uint64_t non_ascii = mask(bytes);
    classes.quote |= mask(equal('"')) << shift;
    classes.backslash |= mask(equal('\\')) << shift;
    classes.structural |= mask(structural) << shift;
    classes.whitespace |= mask(whitespace) << shift;
    classes.control |= (below_space & ~non_ascii) << shift;
    classes.non_ascii |= non_ascii << shift;
}

}  // namespace block_classifier_detail

inline BlockClasses classify_block_sse2(const unsigned char* block) {
    BlockClasses classes{};
    for (int i = 0; i < kBlockSize; i += 16) {
        block_classifier_detail::classify_16_sse2(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i)), i, classes);
    }
    return classes;
}
#endif

#if defined(VANTOR_BLOCK_CLASSIFIER_AVX2)
namespace block_classifier_detail {

// No lambdas here: a lambda does not take on its enclosing function's target, and the AVX2
// intrinsics need it.
[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t mask_avx2(__m256i lanes) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(lanes)));
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i equal_avx2(__m256i bytes, char value) {
    return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(value));
}

// The structural characters and whitespace by two table lookups, one on each half of a byte,
// where the compares take ten: a byte is in a class when the class's bit is set in the entries
// of both its halves. Bits 0 to 2 are the structural characters (','; ':'; the four brackets),
// bits 3 and 4 whitespace (' '; tab, line feed and carriage return).
constexpr char kLowHalfClasses[16] = {0x08, 0,    0,    0,    0,    0,    0, 0,
                                      0,    0x10, 0x12, 0x04, 0x01, 0x14, 0, 0};
constexpr char kHighHalfClasses[16] = {0x10, 0, 0x09, 0x02, 0, 0x04, 0, 0x04,
                                       0,    0, 0,    0,    0, 0,    0, 0};
constexpr char kStructuralClasses = 0x07;
constexpr char kWhitespaceClasses = 0x18;

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i table_avx2(const char (&table)[16]) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table)));
}

// High bit set in the bytes of `classes` that have a bit of `wanted`: a saturating add of 0x7f
// reaches 0x80 from anything above zero.
[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t any_class_avx2(__m256i classes,
                                                                                char wanted) {
    return mask_avx2(_mm256_adds_epu8(_mm256_and_si256(classes, _mm256_set1_epi8(wanted)),
                                      _mm256_set1_epi8(0x7f)));
}

[[gnu::target("avx2"), gnu::always_inline]] inline void classify_32_avx2(__m256i bytes, int shift,
                                                                         BlockClasses& classes) {
    const __m256i low_halves = _mm256_and_si256(bytes, _mm256_set1_epi8(0x0f));
    const __m256i high_halves =
        _mm256_and_si256(_mm256_srli_epi16(bytes, 4), _mm256_set1_epi8(0x0f));
    const __m256i byte_classes =
        _mm256_and_si256(_mm256_shuffle_epi8(table_avx2(kLowHalfClasses), low_halves),
                         _mm256_shuffle_epi8(table_avx2(kHighHalfClasses), high_halves));
    // Signed, the bytes from 0x80 up are negative: below 0x20 are they and the control bytes.
    std::uint64_t below_space = mask_avx2(_mm256_cmpgt_epi8(_mm256_set1_epi8(0x20), bytes));
    std::uint64_t non_ascii = mask_avx2(bytes);
    classes.quote |= mask_avx2(equal_avx2(bytes, '"')) << shift;
    classes.backslash |= mask_avx2(equal_avx2(bytes, '\\')) << shift;
    classes.structural |= any_class_avx2(byte_classes, kStructuralClasses) << shift;
    classes.whitespace |= any_class_avx2(byte_classes, kWhitespaceClasses) << shift;
    classes.control |= (below_space & ~non_ascii) << shift;
    classes.non_ascii |= non_ascii << shift;
}

}  // namespace block_classifier_detail

// Only where the processor has AVX2 (block_classifier_has_avx2()).
[[gnu::target("avx2"), gnu::always_inline]] inline BlockClasses classify_block_avx2(
    const unsigned char* block) {
    BlockClasses classes{};
    block_classifier_detail::classify_32_avx2(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block)), 0, classes);
    block_classifier_detail::classify_32_avx2(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32)), 32, classes);
    return classes;
}

// The same kernel as an ordinary call, for code compiled without AVX2 (the tests): a function
// that must be inlined cannot be inlined there.
[[gnu::target("avx2")]] inline BlockClasses classify_block_avx2_call(const unsigned char* block) {
    return classify_block_avx2(block);
}

// Whether the AVX2 kernel may run here. The structural index also counts bits with POPCNT and
// finds them with TZCNT where it uses it; every processor with AVX2 has both, the check says so
// anyway.
inline bool block_classifier_has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
                            __builtin_cpu_supports("bmi");
    return has;
}
#endif

#if defined(VANTOR_BLOCK_CLASSIFIER_NEON)
namespace block_classifier_detail {

// One bit per byte of four 16-byte comparison results, the first byte in the lowest bit:
// Advanced SIMD has no byte mask, so each lane keeps its own bit weight and three rounds of
// pairwise addition fold the 64 lanes into eight bytes.
inline std::uint64_t gather_lanes(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d) {
    const uint8x16_t weights = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    uint8x16_t ab = vpaddq_u8(vandq_u8(a, weights), vandq_u8(b, weights));
    uint8x16_t cd = vpaddq_u8(vandq_u8(c, weights), vandq_u8(d, weights));
    uint8x16_t abcd = vpaddq_u8(ab, cd);
    return vgetq_lane_u64(vreinterpretq_u64_u8(vpaddq_u8(abcd, abcd)), 0);
}

struct Lanes16 {
    uint8x16_t quote, backslash, structural, whitespace, control, non_ascii;
};

inline Lanes16 classify_16_neon(uint8x16_t bytes) {
    auto equal = [bytes](unsigned char value) { return vceqq_u8(bytes, vdupq_n_u8(value)); };
    Lanes16 lanes;
    lanes.quote = equal('"');
    lanes.backslash = equal('\\');
    lanes.structural =
        vorrq_u8(vorrq_u8(vorrq_u8(equal('{'), equal('}')), vorrq_u8(equal('['), equal(']'))),
                 vorrq_u8(equal(':'), equal(',')));
    lanes.whitespace =
        vorrq_u8(vorrq_u8(equal(' '), equal('\t')), vorrq_u8(equal('\n'), equal('\r')));
    lanes.control = vcltq_u8(bytes, vdupq_n_u8(0x20));
    lanes.non_ascii = vcgeq_u8(bytes, vdupq_n_u8(0x80));
    return lanes;
}

}  // namespace block_classifier_detail

inline BlockClasses classify_block_neon(const unsigned char* block) {
    using namespace block_classifier_detail;
    Lanes16 l0 = classify_16_neon(vld1q_u8(block));
    Lanes16 l1 = classify_16_neon(vld1q_u8(block + 16));
    Lanes16 l2 = classify_16_neon(vld1q_u8(block + 32));
    Lanes16 l3 = classify_16_neon(vld1q_u8(block + 48));
    BlockClasses classes;
    classes.quote = gather_lanes(l0.quote, l1.quote, l2.quote, l3.quote);
    classes.backslash = gather_lanes(l0.backslash, l1.backslash, l2.backslash, l3.backslash);
    classes.structural = gather_lanes(l0.structural, l1.structural, l2.structural, l3.structural);
    classes.whitespace = gather_lanes(l0.whitespace, l1.whitespace, l2.whitespace, l3.whitespace);
    classes.control = gather_lanes(l0.control, l1.control, l2.control, l3.control);
    classes.non_ascii = gather_lanes(l0.non_ascii, l1.non_ascii, l2.non_ascii, l3.non_ascii);
    return classes;
}
#endif

// The kernel of the instruction set every machine of the build's target has.
inline BlockClasses classify_block_baseline(const unsigned char* block) {
#if defined(VANTOR_BLOCK_CLASSIFIER_SSE2)
    return classify_block_sse2(block);
#elif defined(VANTOR_BLOCK_CLASSIFIER_NEON)
    return classify_block_neon(block);
#else
    return classify_block_portable(block);
#endif
}

}  // namespace vantor::json
