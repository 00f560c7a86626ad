#include "json/writer.h"

#include <array>
#include <cstring>

#include "json/digit_tables.h"
#include "json/float_text.h"

namespace vantor::json {
namespace {

// For each byte, 0 when it is copied as it stands, otherwise the letter of its escape: 'u' for
// \u00xx and the escape's own letter for the short forms.
constexpr std::array<char, 256> escape_letters = [] {
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

constexpr char lowercase_hex[] = "0123456789abcdef";

void write_escape(unsigned char byte, ByteBuffer& out) {
    char letter = escape_letters[byte];
    if (letter != 'u') {
        char* p = out.tail(2);
        p[0] = '\\';
        p[1] = letter;
        out.commit(2);
        return;
    }
    char* p = out.tail(6);
    std::memcpy(p, "\\u00", 4);
    p[4] = lowercase_hex[byte >> 4];
    p[5] = lowercase_hex[byte & 0xf];
    out.commit(6);
}

void write_object(const JsonObject& object, ByteBuffer& out) {
    out.push_back('{');
    bool first = true;
    for (const JsonMember& member : object) {
        if (!first) out.push_back(',');
        first = false;
        write_json_string(member.name, out);
        out.push_back(':');
        write_json(member.value, out);
    }
    out.push_back('}');
}

void write_array(std::span<const JsonValue> items, ByteBuffer& out) {
    out.push_back('[');
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) out.push_back(',');
        write_json(items[i], out);
    }
    out.push_back(']');
}

void write_number(const JsonNumber& number, ByteBuffer& out) {
    switch (number.variant()) {
        case JsonNumber::Variant::unsigned_integer:
            write_json_unsigned(number.unsigned_value(), out);
            return;
        case JsonNumber::Variant::signed_integer:
            write_json_signed(number.signed_value(), out);
            return;
        case JsonNumber::Variant::float64:
            write_json_float(number.float_value(), out);
            return;
    }
}

}  // namespace

void write_json(const JsonValue& value, ByteBuffer& out) {
    switch (value.kind()) {
        case JsonKind::null:
            out.append("null", 4);
            return;
        case JsonKind::boolean:
            if (value.as_boolean()) {
                out.append("true", 4);
            } else {
                out.append("false", 5);
            }
            return;
        case JsonKind::number:
            write_number(value.as_number(), out);
            return;
        case JsonKind::string:
            write_json_string(value.as_string(), out);
            return;
        case JsonKind::array:
            write_array(value.as_array(), out);
            return;
        case JsonKind::object:
            write_object(value.as_object(), out);
            return;
    }
}

void write_json_string(std::string_view text, ByteBuffer& out) {
    out.push_back('"');
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t size = text.size();
    std::size_t run_start = 0;
    std::size_t i = 0;
    while (true) {
        // Most text needs no escape: test four bytes per step before looking at single bytes.
        while (i + 4 <= size && !(escape_letters[bytes[i]] | escape_letters[bytes[i + 1]] |
                                  escape_letters[bytes[i + 2]] | escape_letters[bytes[i + 3]])) {
            i += 4;
        }
        while (i < size && escape_letters[bytes[i]] == 0)
            ++i;
        if (i == size) break;
        if (i != run_start) out.append(text.data() + run_start, i - run_start);
        write_escape(bytes[i], out);
        run_start = ++i;
    }
    // The last run and the closing quote go out together.
    std::size_t run = size - run_start;
    char* p = out.tail(run + 1);
    if (run != 0) std::memcpy(p, text.data() + run_start, run);
    p[run] = '"';
    out.commit(run + 1);
}

void write_json_float(double value, ByteBuffer& out) {
    char scratch[float_text_scratch_size];
    out.append(scratch, format_float_text(value, scratch));
}

void write_json_unsigned(std::uint64_t value, ByteBuffer& out) {
    char scratch[20];
    char* end = scratch + sizeof scratch;
    char* start = detail::write_digits_backwards(value, end);
    out.append(start, static_cast<std::size_t>(end - start));
}

void write_json_signed(std::int64_t value, ByteBuffer& out) {
    // The magnitude in unsigned arithmetic, so that the most negative value has one too; it has
    // at most 19 digits, which leaves room for the sign in the 20-byte scratch area.
    char scratch[20];
    char* end = scratch + sizeof scratch;
    auto magnitude = static_cast<std::uint64_t>(value);
    if (value < 0) magnitude = ~magnitude + 1;
    char* start = detail::write_digits_backwards(magnitude, end);
    if (value < 0) *--start = '-';
    out.append(start, static_cast<std::size_t>(end - start));
}

}  // namespace vantor::json
