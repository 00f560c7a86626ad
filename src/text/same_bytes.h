#pragma once
// A byte-for-byte comparison of two short texts (member names, string values), shared by the
// tape's name settling, the column index and the tape comparison.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace vantor::text {

// Byte-for-byte equality of two texts: member names, and the tape comparison's scalar texts.
// They are mostly short, so up to 16 bytes are compared with at most four word loads instead of
// a call to memcmp. Always inlined: the reader's loop, into which the row observer's lookups are
// inlined, is so large that the compiler would otherwise call it, at a tenth of sparse rows'
// instructions.
[[gnu::always_inline]] inline bool same_bytes(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    if (n > 16) return std::memcmp(a.data(), b.data(), n) == 0;
    auto load8 = [](const char* p) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        return word;
    };
    auto load4 = [](const char* p) {
        std::uint32_t word;
        std::memcpy(&word, p, 4);
        return word;
    };
    if (n >= 8) {
        // Two overlapping words cover every length from 8 to 16.
        return ((load8(a.data()) ^ load8(b.data())) |
                (load8(a.data() + n - 8) ^ load8(b.data() + n - 8))) == 0;
    }
    if (n >= 4) {
        return ((load4(a.data()) ^ load4(b.data())) |
                (load4(a.data() + n - 4) ^ load4(b.data() + n - 4))) == 0;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

// Whether the first `n` bytes at `a` and at `b` are the same, for `n` of at most 16 where sixteen
// bytes can be read at each (padded texts: text/padded_text.h): one vector comparison with SSE2,
// two word loads each elsewhere, and no branch on the length.
inline bool same_bytes_in_block(const char* a, const char* b, std::size_t n) {
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i equal = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)));
    const unsigned needed = (1u << n) - 1;
    return (static_cast<unsigned>(_mm_movemask_epi8(equal)) & needed) == needed;
#else
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t a_words[2];
        std::uint64_t b_words[2];
        std::memcpy(a_words, a, 16);
        std::memcpy(b_words, b, 16);
        // The bytes to compare are the low `n` of the sixteen: all of the first word's when
        // n >= 8, and the second word's low n - 8.
        const unsigned bits = static_cast<unsigned>(n) * 8;
        const std::uint64_t first = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
        const std::uint64_t second = bits <= 64    ? 0
                                     : bits >= 128 ? ~std::uint64_t{0}
                                                   : (std::uint64_t{1} << (bits - 64)) - 1;
        return (((a_words[0] ^ b_words[0]) & first) | ((a_words[1] ^ b_words[1]) & second)) == 0;
    } else {
        return std::memcmp(a, b, n) == 0;
    }
#endif
}

}  // namespace vantor::text
