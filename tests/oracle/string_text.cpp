#include "oracle/string_text.h"

#include <cstddef>
#include <cstdint>

namespace vantor::oracle {
namespace {

std::optional<char32_t> hex_digit(char c) {
    if (c >= '0' && c <= '9') return static_cast<char32_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<char32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<char32_t>(c - 'A' + 10);
    return std::nullopt;
}

// The four hexadecimal digits of a \u escape at raw[at], or nothing.
std::optional<char32_t> four_hex_digits(std::string_view raw, std::size_t at) {
    if (raw.size() < at + 4) return std::nullopt;
    char32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::optional<char32_t> digit = hex_digit(raw[at + i]);
        if (!digit) return std::nullopt;
        value = value * 16 + *digit;
    }
    return value;
}

bool is_leading_surrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool is_trailing_surrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

void append_utf8(char32_t code_point, std::string& out) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | (code_point >> 6));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        out += static_cast<char>(0xE0 | (code_point >> 12));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code_point >> 18));
        out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

std::optional<std::string> decode_string_text(std::string_view raw) {
    std::string out;
    std::size_t i = 0;
    while (i < raw.size()) {
        if (raw[i] != '\\') {
            out += raw[i++];
            continue;
        }
        if (i + 1 >= raw.size()) return std::nullopt;
        const char letter = raw[i + 1];
        i += 2;
        switch (letter) {
            case '"':
                out += '"';
                continue;
            case '\\':
                out += '\\';
                continue;
            case '/':
                out += '/';
                continue;
            case 'b':
                out += '\b';
                continue;
            case 'f':
                out += '\f';
                continue;
            case 'n':
                out += '\n';
                continue;
            case 'r':
                out += '\r';
                continue;
            case 't':
                out += '\t';
                continue;
            case 'u':
                break;
            default:
                return std::nullopt;
        }
        const std::optional<char32_t> u = four_hex_digits(raw, i);
        if (!u || is_trailing_surrogate(*u)) return std::nullopt;
        i += 4;
        if (!is_leading_surrogate(*u)) {
            append_utf8(*u, out);
            continue;
        }
        if (raw.substr(i, 2) != "\\u") return std::nullopt;
        const std::optional<char32_t> v = four_hex_digits(raw, i + 2);
        if (!v || !is_trailing_surrogate(*v)) return std::nullopt;
        i += 6;
        append_utf8(0x10000 + ((*u - 0xD800) << 10) + (*v - 0xDC00), out);
    }
    return out;
}

void write_quoted(std::string_view text, memory::ByteBuffer& out) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\b':
                out.append("\\b");
                break;
            case '\f':
                out.append("\\f");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\t':
                out.append("\\t");
                break;
            default:
                if (byte < 0x20) {
                    const char escape[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
                    out.append(escape, sizeof escape);
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
}

}  // namespace vantor::oracle
