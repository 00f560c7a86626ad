#pragma once
// The structural index: the payload offsets of its tokens, found a 64-byte block at a time from
// the block classifier's masks (text/block_classifier.h) and handed to the tape reader a batch
// at a time. A token is a structural character outside strings ({}[]:,), the opening quote of a
// string, or the first byte of any other run of bytes outside strings that are neither
// whitespace nor structural (a number or a literal, or a stray byte the reader refuses when it
// meets it).
//
// Strings are found without looking at bytes one by one: a backslash run of odd length escapes
// the byte after it, the quotes that remain open and close strings, and the running parity of
// those quotes (a prefix xor) marks the bytes inside strings. What a block leaves open (a string,
// an escape, a token) carries into the next.
//
// Batches keep the index small and in cache: at most kBatchBytes of payload are indexed at a
// time, so the index never grows with the payload. The index can also check the payload's
// UTF-8, an all-ASCII block in one test, and stop at the batch of the first ill-formed sequence.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "text/block_classifier.h"
#include "text/string_scan.h"

namespace vantor::json {

// Whether the index checks the payload's UTF-8. A reader whose string reader checks every
// string's bytes needs only the bytes outside strings checked, and those are never UTF-8 a JSON
// reader accepts: each is a token or inside one, which such a reader refuses anyway.
enum class Utf8Check : std::uint8_t { full, left_to_reader };

// The kernels the index can classify blocks with; best_available() is the fastest this machine
// runs, the others are for the tests.
enum class BlockKernel : std::uint8_t { portable, sse2, avx2, neon };

inline bool block_kernel_available(BlockKernel kernel) {
    switch (kernel) {
        case BlockKernel::portable:
            return true;
        case BlockKernel::sse2:
#if defined(VANTOR_BLOCK_CLASSIFIER_SSE2)
            return true;
#else
            return false;
#endif
        case BlockKernel::avx2:
#if defined(VANTOR_BLOCK_CLASSIFIER_AVX2)
            return block_classifier_has_avx2();
#else
            return false;
#endif
        case BlockKernel::neon:
#if defined(VANTOR_BLOCK_CLASSIFIER_NEON)
            return true;
#else
            return false;
#endif
    }
    return false;
}

inline BlockKernel best_block_kernel() {
    if (block_kernel_available(BlockKernel::avx2)) return BlockKernel::avx2;
    if (block_kernel_available(BlockKernel::sse2)) return BlockKernel::sse2;
    if (block_kernel_available(BlockKernel::neon)) return BlockKernel::neon;
    return BlockKernel::portable;
}

namespace structural_index_detail {

constexpr std::uint64_t kEvenBits = 0x5555555555555555ULL;

// What one block leaves open for the next.
struct Carry {
    std::uint64_t escaped = 0;    // 1: the next block's first byte is escaped
    std::uint64_t in_string = 0;  // all ones: the next block starts inside a string
    std::uint64_t in_token = 0;   // 1: the next block starts inside a number or a literal
};

// The bytes that an odd-length run of backslashes escapes. Adding a run's first bit to the run
// carries through it onto the byte after it, whose offset from the run's start is the run's
// length: a run of odd length ends on the other parity than it started on. Runs starting on even
// and on odd bits are added apart so that each sum's parity test is a fixed mask. A run on odd
// bits that reaches bit 63 has odd length and escapes the next block's first byte.
inline std::uint64_t escaped_bytes(std::uint64_t backslash, Carry& carry) {
    const std::uint64_t escaped_first = carry.escaped;
    if ((backslash | escaped_first) == 0) return 0;  // most blocks
    backslash &= ~escaped_first;                     // an escaped backslash starts no run
    const std::uint64_t starts = backslash & ~(backslash << 1);
    const std::uint64_t after_even_starts = (backslash + (starts & kEvenBits)) & ~backslash;
    const std::uint64_t odd_sum = backslash + (starts & ~kEvenBits);
    carry.escaped = odd_sum < backslash ? 1 : 0;
    const std::uint64_t after_odd_starts = odd_sum & ~backslash;
    return escaped_first | (after_even_starts & ~kEvenBits) | (after_odd_starts & kEvenBits);
}

// Bit i of the result is the parity of bits 0..i of `bits`.
inline std::uint64_t prefix_xor(std::uint64_t bits) {
    bits ^= bits << 1;
    bits ^= bits << 2;
    bits ^= bits << 4;
    bits ^= bits << 8;
    bits ^= bits << 16;
    bits ^= bits << 32;
    return bits;
}

#if defined(VANTOR_BLOCK_CLASSIFIER_AVX2)
// The same in one carry-less multiplication by all ones, on the processors with AVX2 (all of
// which have it).
[[gnu::target("pclmul"), gnu::always_inline]] inline std::uint64_t prefix_xor_clmul(
    std::uint64_t bits) {
    const __m128i product =
        _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(bits)), _mm_set1_epi8(-1), 0);
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}
#endif

// The quotes of one block that open or close strings.
[[gnu::always_inline]] inline std::uint64_t unescaped_quotes(const BlockClasses& classes,
                                                             Carry& carry) {
    return classes.quote & ~escaped_bytes(classes.backslash, carry);
}

// The token starts of one block, from its classes, its unescaped quotes and their prefix xor,
// and what the previous block left open.
[[gnu::always_inline]] inline std::uint64_t token_starts(const BlockClasses& classes,
                                                         std::uint64_t quotes,
                                                         std::uint64_t quotes_prefix_xor,
                                                         Carry& carry) {
    // Set from each opening quote up to the byte before its closing quote.
    const std::uint64_t in_string = quotes_prefix_xor ^ carry.in_string;
    carry.in_string = static_cast<std::uint64_t>(static_cast<std::int64_t>(in_string) >> 63);
    const std::uint64_t in_token = ~(classes.structural | classes.whitespace | quotes | in_string);
    const std::uint64_t token_firsts = in_token & ~((in_token << 1) | carry.in_token);
    carry.in_token = in_token >> 63;
    return (classes.structural & ~in_string) | (quotes & in_string) | token_firsts;
}

// Writes the offsets of the set bits of `bits`, `base` being bit 0's, four at a time: up to
// three offsets past the last are written too (the buffer has room), which spares a branch per
// bit.
[[gnu::always_inline]] inline std::uint32_t* write_offsets(std::uint64_t bits, std::uint32_t base,
                                                           std::uint32_t* out) {
    const int count = std::popcount(bits);
    for (int i = 0; i < count; i += 4) {
        out[i] = base + static_cast<std::uint32_t>(std::countr_zero(bits));
        bits &= bits - 1;
        out[i + 1] = base + static_cast<std::uint32_t>(std::countr_zero(bits));
        bits &= bits - 1;
        out[i + 2] = base + static_cast<std::uint32_t>(std::countr_zero(bits));
        bits &= bits - 1;
        out[i + 3] = base + static_cast<std::uint32_t>(std::countr_zero(bits));
        bits &= bits - 1;
    }
    return out + count;
}

// Everything a batch's blocks share, whichever kernel classifies them.
struct BatchState {
    const unsigned char* payload;
    const unsigned char* end;
    Carry carry;
    // Non-ASCII bytes before this offset belong to a sequence already checked.
    std::size_t utf8_checked_to = 0;
    bool utf8_well_formed = true;
};

// Checks the non-ASCII bytes of the block at `base` (bits of `non_ascii`) with the string scan's
// definition of well-formed UTF-8, one step per sequence.
inline void check_utf8(std::uint64_t non_ascii, std::size_t base, BatchState& state) {
    // The bytes of a sequence that began in an earlier block.
    if (state.utf8_checked_to > base) {
        const std::size_t covered = state.utf8_checked_to - base;
        non_ascii &= covered >= 64 ? 0 : ~std::uint64_t{0} << covered;
    }
    while (non_ascii != 0) {
        const int bit = std::countr_zero(non_ascii);
        const std::size_t offset = base + static_cast<std::size_t>(bit);
        const std::size_t length = utf8_sequence_length(state.payload + offset, state.end);
        if (length == 0) {
            state.utf8_well_formed = false;
            return;
        }
        state.utf8_checked_to = offset + length;
        // The sequence's continuation bytes, at most three, are checked with it.
        non_ascii &= bit + length >= 64 ? 0 : ~std::uint64_t{0} << (bit + length);
    }
}

// The blocks of one batch at most.
inline constexpr std::size_t kMaxBatchBlocks = 256;

// Each block's non-ASCII bytes, checked after the loop over the blocks: a call inside the loop
// would cost the vector kernels their constants, which no register keeps across a call.
struct NonAsciiBlocks {
    std::uint64_t masks[kMaxBatchBlocks];
    std::uint64_t any = 0;
};

[[gnu::noinline]] inline void check_utf8_blocks(const NonAsciiBlocks& blocks, std::size_t count,
                                                std::uint32_t base, BatchState& state) {
    for (std::size_t i = 0; i < count && state.utf8_well_formed; ++i) {
        if (blocks.masks[i] != 0) check_utf8(blocks.masks[i], base + i * kBlockSize, state);
    }
}

// One loop per kernel, each with its kernel inlined; `blocks` holds `count` blocks (at most
// kMaxBatchBlocks) whose first byte is at payload offset `base`.
#define VANTOR_INDEX_BLOCKS_LOOP(classify, prefix_xor_of)                                \
    Carry carry = state.carry;                                                           \
    for (std::size_t i = 0; i < count; ++i) {                                            \
        const BlockClasses classes = classify(blocks + i * kBlockSize);                  \
        non_ascii.masks[i] = classes.non_ascii;                                          \
        non_ascii.any |= classes.non_ascii;                                              \
        const std::uint64_t quotes = unescaped_quotes(classes, carry);                   \
        out = write_offsets(token_starts(classes, quotes, prefix_xor_of(quotes), carry), \
                            base + static_cast<std::uint32_t>(i * kBlockSize), out);     \
    }                                                                                    \
    state.carry = carry;                                                                 \
    return out

inline std::uint32_t* index_blocks_portable(const unsigned char* blocks, std::size_t count,
                                            std::uint32_t base, BatchState& state,
                                            NonAsciiBlocks& non_ascii, std::uint32_t* out) {
    VANTOR_INDEX_BLOCKS_LOOP(classify_block_portable, prefix_xor);
}

#if defined(VANTOR_BLOCK_CLASSIFIER_SSE2)
inline std::uint32_t* index_blocks_sse2(const unsigned char* blocks, std::size_t count,
                                        std::uint32_t base, BatchState& state,
                                        NonAsciiBlocks& non_ascii, std::uint32_t* out) {
    VANTOR_INDEX_BLOCKS_LOOP(classify_block_sse2, prefix_xor);
}
#endif

#if defined(VANTOR_BLOCK_CLASSIFIER_AVX2)
[[gnu::target("avx2,popcnt,bmi,pclmul")]] inline std::uint32_t* index_blocks_avx2(
    const unsigned char* blocks, std::size_t count, std::uint32_t base, BatchState& state,
    NonAsciiBlocks& non_ascii, std::uint32_t* out) {
    VANTOR_INDEX_BLOCKS_LOOP(classify_block_avx2, prefix_xor_clmul);
}
#endif

#if defined(VANTOR_BLOCK_CLASSIFIER_NEON)
inline std::uint32_t* index_blocks_neon(const unsigned char* blocks, std::size_t count,
                                        std::uint32_t base, BatchState& state,
                                        NonAsciiBlocks& non_ascii, std::uint32_t* out) {
    VANTOR_INDEX_BLOCKS_LOOP(classify_block_neon, prefix_xor);
}
#endif

#undef VANTOR_INDEX_BLOCKS_LOOP

}  // namespace structural_index_detail

class StructuralIndex {
  public:
    // Payload bytes indexed per batch: a multiple of the block size, whose offsets (at most one
    // per byte) fit in the level-2 cache beside the payload's batch.
    static constexpr std::size_t kBatchBytes =
        structural_index_detail::kMaxBatchBlocks * kBlockSize;

    // The payload must be shorter than 4 GiB (offsets are 32 bits) and outlive the index.
    explicit StructuralIndex(std::string_view payload, Utf8Check utf8 = Utf8Check::full,
                             BlockKernel kernel = best_block_kernel())
        : kernel_(kernel), utf8_(utf8) {
        state_.payload = reinterpret_cast<const unsigned char*>(payload.data());
        state_.end = state_.payload + payload.size();
        size_ = payload.size();
        std::size_t batch = size_ < kBatchBytes ? size_ + kBlockSize : kBatchBytes;
        // Not value-initialized: every offset is written before it is read.
        offsets_.reset(new std::uint32_t[batch + kSlack]);
        non_ascii_ = std::make_unique<structural_index_detail::NonAsciiBlocks>();
    }

    // Indexes the next batch. False when the payload is used up or (with Utf8Check::full) its
    // UTF-8 is ill-formed (well_formed() tells them apart); a batch may hold no token at all
    // (inside a long string).
    bool next_batch() {
        using namespace structural_index_detail;
        if (indexed_ == size_ || !state_.utf8_well_formed) {
            count_ = 0;
            return false;
        }
        const std::size_t whole_end = size_ - size_ % kBlockSize;
        const unsigned char* blocks;
        std::size_t block_count;
        const auto base = static_cast<std::uint32_t>(indexed_);
        if (indexed_ < whole_end) {
            blocks = state_.payload + indexed_;
            block_count =
                (whole_end - indexed_ < kBatchBytes ? whole_end - indexed_ : kBatchBytes) /
                kBlockSize;
            indexed_ += block_count * kBlockSize;
        } else {
            // The last, partial block is read from a copy padded with spaces, which add no token.
            std::memset(tail_, ' ', sizeof tail_);
            std::memcpy(tail_, state_.payload + indexed_, size_ - indexed_);
            blocks = tail_;
            block_count = 1;
            indexed_ = size_;
        }
        std::uint32_t* out = offsets_.get();
        NonAsciiBlocks& non_ascii = *non_ascii_;
        non_ascii.any = 0;
        switch (kernel_) {
#if defined(VANTOR_BLOCK_CLASSIFIER_AVX2)
            case BlockKernel::avx2:
                out = index_blocks_avx2(blocks, block_count, base, state_, non_ascii, out);
                break;
#endif
#if defined(VANTOR_BLOCK_CLASSIFIER_SSE2)
            case BlockKernel::sse2:
                out = index_blocks_sse2(blocks, block_count, base, state_, non_ascii, out);
                break;
#endif
#if defined(VANTOR_BLOCK_CLASSIFIER_NEON)
            case BlockKernel::neon:
                out = index_blocks_neon(blocks, block_count, base, state_, non_ascii, out);
                break;
#endif
            default:
                out = index_blocks_portable(blocks, block_count, base, state_, non_ascii, out);
                break;
        }
        count_ = static_cast<std::size_t>(out - offsets_.get());
        if (non_ascii.any != 0 && utf8_ == Utf8Check::full) {
            check_utf8_blocks(non_ascii, block_count, base, state_);
        }
        if (!state_.utf8_well_formed) {
            count_ = 0;
            return false;
        }
        return true;
    }

    // The token offsets of the last batch, in payload order.
    const std::uint32_t* offsets() const { return offsets_.get(); }
    std::size_t count() const { return count_; }
    bool well_formed() const { return state_.utf8_well_formed; }
    // Whether the payload so far ends inside a string.
    bool inside_string() const { return state_.carry.in_string != 0; }

  private:
    // write_offsets writes up to three offsets past the last.
    static constexpr std::size_t kSlack = 4;

    BlockKernel kernel_;
    Utf8Check utf8_;
    structural_index_detail::BatchState state_{};
    std::size_t size_ = 0;
    std::size_t indexed_ = 0;
    std::size_t count_ = 0;
    std::unique_ptr<std::uint32_t[]> offsets_;
    std::unique_ptr<structural_index_detail::NonAsciiBlocks> non_ascii_;
    alignas(32) unsigned char tail_[kBlockSize];
};

}  // namespace vantor::json
