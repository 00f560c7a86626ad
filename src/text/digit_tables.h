#pragma once
// Read-only tables shared by the integer and float writers: decimal digit pairs "00".."99", so
// that digits are produced two at a time from one division by 100, and the powers of ten that
// count a value's digits.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace vantor::text::detail {

inline constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

inline constexpr std::uint64_t kIntegerPowersOfTen[] = {1u,
                                                        10u,
                                                        100u,
                                                        1000u,
                                                        10000u,
                                                        100000u,
                                                        1000000u,
                                                        10000000u,
                                                        100000000u,
                                                        1000000000u,
                                                        10000000000u,
                                                        100000000000u,
                                                        1000000000000u,
                                                        10000000000000u,
                                                        100000000000000u,
                                                        1000000000000000u,
                                                        10000000000000000u,
                                                        100000000000000000u,
                                                        1000000000000000000u,
                                                        10000000000000000000u};

// The number of decimal digits of `value` (at least 1): from its bit length, corrected by one
// comparison.
inline int decimal_digit_count(std::uint64_t value) {
    value |= 1;  // the same count for every value but zero, which has one digit too
    int bits = 64 - std::countl_zero(value);
    int estimate = (bits * 1233) >> 12;  // floor(bits * log10 2)
    return estimate + (value >= kIntegerPowersOfTen[estimate] ? 1 : 0);
}

// Writes the decimal digits of `value` so that they end just before `end`; returns where they
// start. At most 20 bytes are written.
inline char* write_digits_backwards(std::uint64_t value, char* end) {
    char* p = end;
    while (value >= 100) {
        auto pair = static_cast<unsigned>(value % 100);
        value /= 100;
        p -= 2;
        std::memcpy(p, &kDigitPairs[2 * pair], 2);
    }
    if (value >= 10) {
        p -= 2;
        std::memcpy(p, &kDigitPairs[2 * value], 2);
    } else {
        *--p = static_cast<char>('0' + value);
    }
    return p;
}

}  // namespace vantor::text::detail
