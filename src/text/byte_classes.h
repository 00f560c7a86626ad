#pragma once
// Per-byte decisions of the reader as 256-entry tables, built at compile time.
#include <array>
#include <cstdint>

namespace vantor::text {

namespace byte_classes_detail {

constexpr std::array<bool, 256> make_whitespace() {
    std::array<bool, 256> table{};
    table['\t'] = table['\n'] = table['\r'] = table[' '] = true;
    return table;
}

// The byte that a one-character escape stands for, or 0 when the escape is not one of them
// (`\u` is handled apart).
constexpr std::array<std::uint8_t, 256> make_simple_escape() {
    std::array<std::uint8_t, 256> table{};
    table['"'] = '"';
    table['\\'] = '\\';
    table['/'] = '/';
    table['b'] = 0x08;
    table['f'] = 0x0C;
    table['n'] = 0x0A;
    table['r'] = 0x0D;
    table['t'] = 0x09;
    return table;
}

// The value of a hexadecimal digit, or 0xFF.
constexpr std::array<std::uint8_t, 256> make_hex_value() {
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table)
        entry = 0xFF;
    for (int c = 0; c < 10; ++c)
        table['0' + c] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c) {
        table['a' + c] = static_cast<std::uint8_t>(10 + c);
        table['A' + c] = static_cast<std::uint8_t>(10 + c);
    }
    return table;
}

}  // namespace byte_classes_detail

inline constexpr std::array<bool, 256> kWhitespace = byte_classes_detail::make_whitespace();
inline constexpr std::array<std::uint8_t, 256> kSimpleEscape =
    byte_classes_detail::make_simple_escape();
inline constexpr std::array<std::uint8_t, 256> kHexValue = byte_classes_detail::make_hex_value();

inline bool is_digit(unsigned char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

}  // namespace vantor::text
