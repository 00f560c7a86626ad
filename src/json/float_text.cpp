#include "json/float_text.h"

#include <bit>
#include <charconv>
#include <cstring>

#include "json/digit_tables.h"

namespace vantor::json {

DecimalFloat shortest_decimal(double magnitude) {
    // std::to_chars without a precision gives the shortest round-trip digits, the nearest of
    // several shortest; the scientific form puts them in a fixed place.
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
    std::uint64_t significand = 0;
    const char* p = text;
    for (; p != result.ptr && *p != 'e'; ++p) {
        if (*p != '.') significand = significand * 10 + static_cast<unsigned>(*p - '0');
    }
    int digits_after_point = 0;
    for (const char* q = text; q != p; ++q) {
        if (*q == '.') digits_after_point = static_cast<int>(p - q - 1);
    }
    int exponent = 0;
    std::from_chars(p + (p[1] == '+' ? 2 : 1), result.ptr, exponent);
    return {significand, exponent - digits_after_point};
}

std::size_t format_float_text(double value, char* out) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    if ((bits & 0x7ff0000000000000u) == 0x7ff0000000000000u) {
        std::memcpy(out, "null", 4);
        return 4;
    }
    char* p = out;
    if (bits >> 63) *p++ = '-';
    bits &= ~(std::uint64_t{1} << 63);
    if (bits == 0) {
        std::memcpy(p, "0.0", 3);
        return static_cast<std::size_t>(p + 3 - out);
    }
    DecimalFloat decimal = shortest_decimal(std::bit_cast<double>(bits));

    // The digits, trailing zeros dropped; `point` is the exponent of the first digit.
    char scratch[20];
    char* digits_end = scratch + sizeof scratch;
    char* digits = detail::write_digits_backwards(decimal.significand, digits_end);
    int count = static_cast<int>(digits_end - digits);
    int point = decimal.exponent + count - 1;
    while (digits[count - 1] == '0')
        --count;

    if (point >= -5 && point <= 15) {
        if (point < 0) {
            // "0." and -point - 1 zeros before the digits: write a run of zeros and overwrite.
            std::memcpy(p, "0.000000", 8);
            p += 1 - point;
            std::memcpy(p, digits, static_cast<std::size_t>(count));
            p += count;
        } else if (count <= point + 1) {
            std::memcpy(p, digits, static_cast<std::size_t>(count));
            std::memset(p + count, '0', static_cast<std::size_t>(point + 1 - count));
            p += point + 1;
            std::memcpy(p, ".0", 2);
            p += 2;
        } else {
            std::memcpy(p, digits, static_cast<std::size_t>(point + 1));
            p += point + 1;
            *p++ = '.';
            std::memcpy(p, digits + point + 1, static_cast<std::size_t>(count - point - 1));
            p += count - point - 1;
        }
    } else {
        *p++ = digits[0];
        if (count > 1) {
            *p++ = '.';
            std::memcpy(p, digits + 1, static_cast<std::size_t>(count - 1));
            p += count - 1;
        }
        *p++ = 'e';
        *p++ = point < 0 ? '-' : '+';
        unsigned magnitude = static_cast<unsigned>(point < 0 ? -point : point);
        char exponent_digits[20];
        char* exponent_end = exponent_digits + sizeof exponent_digits;
        char* exponent_start = detail::write_digits_backwards(magnitude, exponent_end);
        std::memcpy(p, exponent_start, static_cast<std::size_t>(exponent_end - exponent_start));
        p += exponent_end - exponent_start;
    }
    return static_cast<std::size_t>(p - out);
}

}  // namespace vantor::json
