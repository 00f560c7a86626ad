#include "json/type_error_text.h"

#include <cstdint>

#include "memory/byte_buffer.h"
#include "text/error_texts.h"
#include "text/scalar_writer.h"
#include "text/unicode_classes.h"

namespace vantor::json {

namespace error_texts = text::error_texts;

namespace {

// Decodes the well-formed UTF-8 sequence at `p` and advances `p` past it.
char32_t decode_utf8(const unsigned char*& p) {
    unsigned char lead = *p++;
    if (lead < 0x80) return lead;
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t code_point = lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i)
        code_point = (code_point << 6) | (*p++ & 0x3F);
    return code_point;
}

void append_hex_escape(std::string& out, char32_t code_point) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char digits[8];
    int count = 0;
    do {
        digits[count++] = kDigits[code_point & 0xF];
        code_point >>= 4;
    } while (code_point != 0);
    out += "\\u{";
    while (count > 0)
        out += digits[--count];
    out += '}';
}

}  // namespace

std::string quote_found_string(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char* start = p;
        char32_t code_point = decode_utf8(p);
        switch (code_point) {
            case U'"':
                out += "\\\"";
                continue;
            case U'\\':
                out += "\\\\";
                continue;
            case U'\0':
                out += "\\0";
                continue;
            case U'\t':
                out += "\\t";
                continue;
            case U'\n':
                out += "\\n";
                continue;
            case U'\r':
                out += "\\r";
                continue;
            default:
                break;
        }
        if (text::is_escaped_in_found_string(code_point)) {
            append_hex_escape(out, code_point);
        } else {
            out.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
        }
    }
    out += '"';
    return out;
}

std::string invalid_type_description(const Token& found) {
    std::string out(error_texts::kInvalidTypePrefix);
    switch (found.kind) {
        case Token::Kind::null:
            out += error_texts::kFoundNull;
            break;
        case Token::Kind::boolean:
            out += found.boolean ? error_texts::kFoundTrue : error_texts::kFoundFalse;
            break;
        case Token::Kind::number: {
            const text::JsonNumber number = found.number;
            memory::ByteBuffer text;
            switch (number.variant()) {
                case text::JsonNumber::Variant::unsigned_integer:
                    out += error_texts::kFoundInteger;
                    text::write_json_unsigned(number.unsigned_value(), text);
                    break;
                case text::JsonNumber::Variant::signed_integer:
                    out += error_texts::kFoundInteger;
                    text::write_json_signed(number.signed_value(), text);
                    break;
                case text::JsonNumber::Variant::float64:
                    out += error_texts::kFoundFloat;
                    text::write_json_float(number.float_value(), text);
                    break;
            }
            out += text.view();
            out += error_texts::kFoundNumberEnd;
            break;
        }
        case Token::Kind::string:
            out += error_texts::kFoundString;
            out += quote_found_string(found.string);
            break;
        case Token::Kind::object:
            out += error_texts::kFoundObject;
            break;
    }
    out += error_texts::kInvalidTypeSuffix;
    return out;
}

}  // namespace vantor::json
