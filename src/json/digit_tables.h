#pragma once
// Read-only tables shared by the integer and float writers: decimal digit pairs "00".."99", so
// that digits are produced two at a time from one division by 100.
#include <array>
#include <cstdint>
#include <cstring>

namespace vantor::json::detail {

inline constexpr std::array<char, 200> digit_pairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Writes the decimal digits of `value` so that they end just before `end`; returns where they
// start. At most 20 bytes are written.
inline char* write_digits_backwards(std::uint64_t value, char* end) {
    char* p = end;
    while (value >= 100) {
        auto pair = static_cast<unsigned>(value % 100);
        value /= 100;
        p -= 2;
        std::memcpy(p, &digit_pairs[2 * pair], 2);
    }
    if (value >= 10) {
        p -= 2;
        std::memcpy(p, &digit_pairs[2 * value], 2);
    } else {
        *--p = static_cast<char>('0' + value);
    }
    return p;
}

}  // namespace vantor::json::detail
