#include "text/scalar_writer.h"

#include <array>
#include <cstring>

#include "text/digit_tables.h"
#include "text/float_text.h"

namespace vantor::text {
namespace {

// For each byte, 0 when it is copied as it stands, otherwise the letter of its escape: 'u' for
// \u00xx and the escape's own letter for the short forms.
constexpr std::array<char, 256> kEscapeLetters = [] {
    std::array<char, 256> table{};
    for (int byte = 0; byte < 0x20; ++byte)
        table[byte] = 'u';
    table['\b'] = 'b';
    table['\t'] = 't';
    table['\n'] = 'n';
    table['\f'] = 'f';
    table['\r'] = 'r';
    table['"'] = '"';
    table['\\'] = '\\';
    return table;
}();

constexpr char kLowercaseHex[] = "0123456789abcdef";

// The escape text of each byte that needs one, padded to eight bytes with its length in the last
// byte: one fixed-width copy writes any escape, with no branch on its form.
constexpr auto kEscapeTexts = [] {
    std::array<std::array<char, 8>, 256> texts{};
    for (int byte = 0; byte < 256; ++byte) {
        char letter = kEscapeLetters[static_cast<std::size_t>(byte)];
        auto& text = texts[static_cast<std::size_t>(byte)];
        if (letter == 0) continue;
        text[0] = '\\';
        if (letter == 'u') {
            text[1] = 'u';
            text[2] = '0';
            text[3] = '0';
            text[4] = kLowercaseHex[byte >> 4];
            text[5] = kLowercaseHex[byte & 0xf];
            text[7] = 6;
        } else {
            text[1] = letter;
            text[7] = 2;
        }
    }
    return texts;
}();

// Writes the escape of `byte` at `out` (with room for eight bytes) and returns its end.
inline char* write_escape(unsigned char byte, char* out) {
    const auto& text = kEscapeTexts[byte];
    std::memcpy(out, text.data(), 8);
    return out + text[7];
}

// Writes the bytes from `begin` to `end` at `out` (room for six bytes each, and two of slack),
// runs that need no escape copied whole, and returns the end of what it wrote.
inline char* write_escaped(const unsigned char* begin, const unsigned char* end, char* out) {
    const unsigned char* q = begin;
    char* p = out;
    while (true) {
        const unsigned char* run_start = q;
        // Most text needs no escape: test four bytes per step before looking at single bytes.
        while (end - q >= 4 && !(kEscapeLetters[q[0]] | kEscapeLetters[q[1]] |
                                 kEscapeLetters[q[2]] | kEscapeLetters[q[3]])) {
            q += 4;
        }
        while (q < end && kEscapeLetters[*q] == 0)
            ++q;
        if (q != run_start) {
            std::memcpy(p, run_start, static_cast<std::size_t>(q - run_start));
            p += q - run_start;
        }
        if (q == end) return p;
        p = write_escape(*q++, p);
    }
}

}  // namespace

void write_json_float(double value, memory::ByteBuffer& out) {
    // The text is formed straight in the buffer when it has room for the whole scratch area: no
    // copy of a length known only at run time, and no reading back of bytes just stored. Near
    // the end of the capacity it goes through the scratch area instead, so that the buffer grows
    // only for the bytes of the text itself.
    if (out.capacity() - out.size() >= kFloatTextScratchSize) {
        out.commit(format_float_text(value, out.tail(kFloatTextScratchSize)));
        return;
    }
    char scratch[kFloatTextScratchSize];
    out.append(scratch, format_float_text(value, scratch));
}

// Integers are formed straight in the buffer: counting the digits first tells where they end.
void write_json_unsigned(std::uint64_t value, memory::ByteBuffer& out) {
    auto count = static_cast<std::size_t>(detail::decimal_digit_count(value));
    detail::write_digits_backwards(value, out.tail(20) + count);
    out.commit(count);
}

void write_json_signed(std::int64_t value, memory::ByteBuffer& out) {
    // The magnitude in unsigned arithmetic, so that the most negative value has one too.
    auto magnitude = static_cast<std::uint64_t>(value);
    if (value >= 0) {
        write_json_unsigned(magnitude, out);
        return;
    }
    magnitude = ~magnitude + 1;
    auto count = static_cast<std::size_t>(detail::decimal_digit_count(magnitude));
    char* room = out.tail(21);
    room[0] = '-';
    detail::write_digits_backwards(magnitude, room + 1 + count);
    out.commit(count + 1);
}

char* write_json_string_unchecked(std::string_view text, char* out) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    char* p = out;
    *p++ = '"';
    p = write_escaped(bytes, bytes + text.size(), p);
    *p++ = '"';
    return p;
}

}  // namespace vantor::text
