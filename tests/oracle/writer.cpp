#include "oracle/writer.h"

#include <charconv>
#include <vector>

#include "oracle/string_text.h"
#include "text/float_text.h"

namespace vantor::json {
namespace {
// Integers in decimal by the standard library; a float by the one float text the system has.
void write_number(const text::JsonNumber& number, memory::ByteBuffer& out) {
    char digits[text::kFloatTextScratchSize];
    char* end = digits;
    switch (number.variant()) {
        case text::JsonNumber::Variant::unsigned_integer:
            end = std::to_chars(digits, digits + sizeof digits, number.unsigned_value()).ptr;
            break;
        case text::JsonNumber::Variant::signed_integer:
            end = std::to_chars(digits, digits + sizeof digits, number.signed_value()).ptr;
            break;
        case text::JsonNumber::Variant::float64:
            end = digits + text::format_float_text(number.float_value(), digits);
            break;
    }
    out.append(digits, static_cast<std::size_t>(end - digits));
}

bool is_container(const JsonValue& value) {
    return value.kind() == JsonKind::array || value.kind() == JsonKind::object;
}

void write_scalar(const JsonValue& value, memory::ByteBuffer& out) {
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
            oracle::write_quoted(value.as_string(), out);
            return;
        case JsonKind::array:
        case JsonKind::object:
            return;  // containers are written by write_container
    }
}

// An open array or object: the elements or members still to write, and where they end.
struct OpenContainer {
    const void* next;
    const void* end;
    bool object;
};

// Opens `value` (an array or object): writes its bracket and pushes it.
void open_container(const JsonValue& value, std::vector<OpenContainer>& open,
                    memory::ByteBuffer& out) {
    if (value.kind() == JsonKind::array) {
        std::span<const JsonValue> items = value.as_array();
        out.push_back('[');
        open.push_back({items.data(), items.data() + items.size(), false});
    } else {
        const JsonObject& object = value.as_object();
        out.push_back('{');
        open.push_back({object.begin(), object.end(), true});
    }
}

// An array or object and everything beneath it, one level of the explicit stack per open
// container: elements separated by ",", members as name ":" value.
void write_container(const JsonValue& value, memory::ByteBuffer& out) {
    std::vector<OpenContainer> open;
    open_container(value, open, out);
    bool first = true;  // whether the innermost open container has written nothing yet
    while (!open.empty()) {
        OpenContainer& top = open.back();
        if (top.next == top.end) {
            out.push_back(top.object ? '}' : ']');
            open.pop_back();
            first = false;
            continue;
        }
        if (!first) out.push_back(',');
        const JsonValue* element;
        if (top.object) {
            const auto* member = static_cast<const JsonMember*>(top.next);
            top.next = member + 1;
            oracle::write_quoted(member->name, out);
            out.push_back(':');
            element = &member->value;
        } else {
            element = static_cast<const JsonValue*>(top.next);
            top.next = element + 1;
        }
        if (is_container(*element)) {
            open_container(*element, open, out);
            first = true;
        } else {
            write_scalar(*element, out);
            first = false;
        }
    }
}

}  // namespace

void write_json(const JsonValue& value, memory::ByteBuffer& out) {
    if (is_container(value)) {
        write_container(value, out);
    } else {
        write_scalar(value, out);
    }
}

}  // namespace vantor::json
