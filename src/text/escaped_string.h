#pragma once
// The tape reader's decoding of strings with escapes, in padded text whose UTF-8 is checked
// (text/padded_text.h, text/utf8_check.h). Nearly every escape in real payloads is a
// two-character one (\n, \", \/, ...) or a \u escape of a character outside the surrogates; a
// string of only those is decoded here in two passes, each a whole vector register a step: the
// first finds its closing quote and checks its escapes, the second copies the runs between them
// and decodes each. Any other string (a surrogate escape, an invalid escape, a control byte, the
// end of the text) is left to the shared string reader (text/string_reader.h), which decodes it
// or refuses it; what both decode, they decode alike.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "memory/arena.h"
#include "text/byte_classes.h"
#include "text/code_points.h"
#include "text/long_string_scan.h"

namespace vantor::text {

namespace escaped_string_detail {

// The value of the four hex digits at `p`, or kFirstPairCodePoint (beyond any one unit) when one
// is not a hex digit.
inline std::uint32_t hex4(const unsigned char* p) {
    const std::uint32_t digits[4] = {kHexValue[p[0]], kHexValue[p[1]], kHexValue[p[2]],
                                     kHexValue[p[3]]};
    if ((digits[0] | digits[1] | digits[2] | digits[3]) > 0xF) return kFirstPairCodePoint;
    return (digits[0] << 12) | (digits[1] << 8) | (digits[2] << 4) | digits[3];
}

}  // namespace escaped_string_detail

// The string whose text starts at `start`, after its opening quote, and whose first escape's
// backslash is at `first_escape`, decoded into `arena`: the byte after its closing quote, or
// nullptr when the shared reader is due. `end` is where the text ends; the padding after it lets
// an escape there be read whole (its NUL is no escape).
inline const unsigned char* decode_common_escapes(const unsigned char* start,
                                                  const unsigned char* first_escape,
                                                  const unsigned char* end, memory::Arena& arena,
                                                  std::string_view& decoded) {
    using escaped_string_detail::hex4;
    const unsigned char* quote = first_escape;
    for (;;) {
        if (*quote == '"') break;
        if (*quote != '\\') return nullptr;
        if (quote[1] == 'u') {
            const std::uint32_t unit = hex4(quote + 2);
            if (unit >= kFirstPairCodePoint || is_surrogate(unit)) return nullptr;
            quote += 6;
        } else {
            if (kSimpleEscape[quote[1]] == 0) return nullptr;
            quote += 2;
        }
        if (quote > end) return nullptr;
        quote = find_long_string_stop(quote, end);
    }
    // The text is no shorter than its decoding; runs are copied sixteen bytes at a time, which
    // may read on into the text after them (or the padding) and write on into the sixteen bytes
    // added here.
    const auto escaped = static_cast<std::size_t>(quote - start);
    char* const out = static_cast<char*>(arena.allocate(escaped + 16, 1));
    char* w = out;
    const unsigned char* r = start;
    const unsigned char* stop = first_escape;
    for (;;) {
        for (std::size_t at = 0; at < static_cast<std::size_t>(stop - r); at += 16)
            std::memcpy(w + at, r + at, 16);
        w += stop - r;
        if (stop == quote) break;
        if (stop[1] == 'u') {
            w = write_utf8_below_pairs(hex4(stop + 2), w);
            r = stop + 6;
        } else {
            *w++ = static_cast<char>(kSimpleEscape[stop[1]]);
            r = stop + 2;
        }
        // Between r and the closing quote, every stop is the backslash of an escape checked
        // above, and the closing quote is the last stop.
        stop = find_long_string_stop(r, end);
    }
    decoded = {out, static_cast<std::size_t>(w - out)};
    return quote + 1;
}

}  // namespace vantor::text
