#pragma once
// Code points as the string decoders meet them in \u escapes: the UTF-16 surrogate ranges, the
// joining of a surrogate pair, and the UTF-8 bytes of a code point. Both decoders (the tape
// reader's, text/escaped_string.h, and the shared one, text/string_reader.h) write what an escape
// stands for through these, so that what both decode they decode alike.
#include <cstdint>

namespace vantor::text {

// A high (leading) surrogate comes first in a pair, a low (trailing) one second; neither is a
// character on its own.
inline constexpr std::uint32_t kHighSurrogateFirst = 0xD800;
inline constexpr std::uint32_t kHighSurrogateLast = 0xDBFF;
inline constexpr std::uint32_t kLowSurrogateFirst = 0xDC00;
inline constexpr std::uint32_t kLowSurrogateLast = 0xDFFF;

// The first code point beyond one UTF-16 unit, hence the lowest a surrogate pair stands for.
inline constexpr std::uint32_t kFirstPairCodePoint = 0x10000;

// The most bytes the UTF-8 of one code point takes.
inline constexpr int kMaxUtf8Bytes = 4;

constexpr bool is_surrogate(std::uint32_t unit) {
    return unit >= kHighSurrogateFirst && unit <= kLowSurrogateLast;
}

constexpr bool is_high_surrogate(std::uint32_t unit) {
    return unit >= kHighSurrogateFirst && unit <= kHighSurrogateLast;
}

constexpr bool is_low_surrogate(std::uint32_t unit) {
    return unit >= kLowSurrogateFirst && unit <= kLowSurrogateLast;
}

// The code point of a high surrogate followed by a low one: ten bits from each, above the units
// that need no pair.
constexpr std::uint32_t join_surrogates(std::uint32_t high, std::uint32_t low) {
    return kFirstPairCodePoint +
           (((high - kHighSurrogateFirst) << 10) | (low - kLowSurrogateFirst));
}

// Writes the UTF-8 of `code_point`, below kFirstPairCodePoint and outside the surrogates, at `out`
// (room for three bytes) and returns the byte after it. The tape reader's decoding meets no
// pairs, so it is spared the test for four bytes.
inline char* write_utf8_below_pairs(std::uint32_t code_point, char* out) {
    if (code_point < 0x80) {
        *out++ = static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        *out++ = static_cast<char>(0xC0 | (code_point >> 6));
        *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        *out++ = static_cast<char>(0xE0 | (code_point >> 12));
        *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
    }
    return out;
}

// Writes the UTF-8 of `code_point`, at most U+10FFFF and outside the surrogates, at `out` (room
// for kMaxUtf8Bytes) and returns the byte after it.
inline char* write_utf8(std::uint32_t code_point, char* out) {
    if (code_point < kFirstPairCodePoint) return write_utf8_below_pairs(code_point, out);
    *out++ = static_cast<char>(0xF0 | (code_point >> 18));
    *out++ = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
    return out;
}

}  // namespace vantor::text
