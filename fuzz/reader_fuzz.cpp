// Fuzz target for the payload reader. Any input must give either rows or one well-formed error
// text, the same on a second read; rows written back as compact text must read again to the same
// rows (floats within a few units in the last place, since the reader's decimal method is not
// correctly rounded and the writer emits the shortest round-trip digits).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "memory/byte_buffer.h"
#include "oracle/value_reader.h"
#include "oracle/writer.h"

namespace {

using vantor::json::JsonKind;
using vantor::json::JsonValue;
using vantor::json::read_payload;
using vantor::json::ReadResult;
using vantor::memory::Arena;
using vantor::memory::ByteBuffer;
using vantor::text::JsonNumber;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "reader_fuzz: %s\n", what);
        std::abort();
    }
}

bool close_floats(double a, double b) {
    if (a == b) return true;
    if (std::signbit(a) != std::signbit(b)) return false;
    std::int64_t ia;
    std::int64_t ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    std::int64_t distance = ia > ib ? ia - ib : ib - ia;
    return distance <= 4;
}

// Deep equality where floats may differ by a few units in the last place.
bool same_rows(const JsonValue& a, const JsonValue& b) {
    if (a.kind() != b.kind()) return false;
    if (a.kind() == JsonKind::number) {
        JsonNumber x = a.as_number();
        JsonNumber y = b.as_number();
        if (x.variant() != y.variant()) return false;
        if (x.variant() != JsonNumber::Variant::float64) return x == y;
        return close_floats(x.float_value(), y.float_value());
    }
    if (a.kind() == JsonKind::array) {
        auto left = a.as_array();
        auto right = b.as_array();
        if (left.size() != right.size()) return false;
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (!same_rows(left[i], right[i])) return false;
        }
        return true;
    }
    if (a.kind() == JsonKind::object) {
        const auto& left = a.as_object();
        const auto& right = b.as_object();
        if (left.size() != right.size()) return false;
        for (std::size_t i = 0; i < left.size(); ++i) {
            // Written in insertion order, so read back in the same order.
            if (left.members()[i].name != right.members()[i].name) return false;
            if (!same_rows(left.members()[i].value, right.members()[i].value)) return false;
        }
        return true;
    }
    return a == b;
}

bool has_huge_float(const JsonValue& value) {
    switch (value.kind()) {
        case JsonKind::number:
            return value.as_number().variant() == JsonNumber::Variant::float64 &&
                   std::fabs(value.as_number().float_value()) > 1e308;
        case JsonKind::array:
            for (const JsonValue& item : value.as_array()) {
                if (has_huge_float(item)) return true;
            }
            return false;
        case JsonKind::object:
            for (const auto& member : value.as_object()) {
                if (has_huge_float(member.value)) return true;
            }
            return false;
        default:
            return false;
    }
}

bool well_formed_error(std::string_view text) {
    std::size_t at = text.rfind(" at line ");
    if (at == std::string_view::npos || at == 0) return false;
    std::size_t column = text.find(" column ", at);
    if (column == std::string_view::npos) return false;
    std::string_view digits = text.substr(column + 8);
    if (digits.empty()) return false;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    Arena arena(vantor::json::reader_arena_first_block(size));
    ReadResult first = read_payload(input, arena);

    Arena second_arena;
    ReadResult second = read_payload(input, second_arena);
    check(first.error == second.error, "two reads of one input differ");
    if (!first.ok()) {
        check(well_formed_error(first.error), "malformed error text");
        return 0;
    }
    check(first.rows.size() == second.rows.size(), "two reads give different row counts");

    ByteBuffer text;
    text.push_back('[');
    for (std::size_t i = 0; i < first.rows.size(); ++i) {
        if (i != 0) text.push_back(',');
        vantor::json::write_json(first.rows[i], text);
    }
    text.push_back(']');

    Arena again_arena;
    ReadResult again = read_payload(text.view(), again_arena);
    if (!again.ok()) {
        bool huge = false;
        for (const JsonValue& row : first.rows)
            huge = huge || has_huge_float(row);
        // The largest floats may be written with digits whose re-reading overflows.
        check(huge && again.error.rfind("number out of range", 0) == 0,
              "written rows do not read again");
        return 0;
    }
    check(again.rows.size() == first.rows.size(), "written rows read to a different count");
    for (std::size_t i = 0; i < first.rows.size(); ++i) {
        check(same_rows(first.rows[i], again.rows[i]), "written rows read to different values");
    }
    return 0;
}
