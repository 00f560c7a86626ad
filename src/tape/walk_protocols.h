#pragma once
// What the tape reader's walk (tape/tape_reader.h) asks of the two parties it reads for. The walk
// knows the grammar alone: it finds each token and hands it on. The token builder
// (tape/tape_builder.h) makes the tape from the tokens; the row observer (the transform's column
// index) takes the rows' member names, which do not go onto the tape, and learns where each
// member's value lies on it. Stated as concepts, so that every builder and observer, the tests'
// stand-ins among them, is checked against the walk's use of it when the walk is instantiated.
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tape/tape.h"
#include "text/number_scan.h"

namespace vantor::tape {

// The three literal tokens.
enum class Literal : std::uint8_t { true_value, false_value, null };

// A row member's name as the builder reads it: its cell (its text in the payload, or decoded into
// the tape's table of texts) and that text.
struct MemberName {
    Cell cell;
    std::string_view text;
};

// The tape's side. The walk keeps the builder's cursor (where the next cell goes) in a local of
// its own, which the compiler keeps in registers, and passes it back with every token; a text's
// bytes are those of the payload, `start` being the first byte after the opening quote.
//     cursor() / finish(out)           where the cells start, and where they ended
//     out.index()                      the index of the next cell
//     blank(p)                         a run of whitespace starts at p
//     string(out, start, size)         an escape-free string of fewer than sixteen bytes
//     long_string(out, start, size)    an escape-free string of any size
//     escaped_string(out, start, at)   a string whose first backslash is at `at`: decoded; the
//                                      byte after its closing quote, or nullptr when refused
//     name / long_name / escaped_name  the same for a row member's name, which is returned for
//                                      the observer instead of going onto the tape
//     literal(out, word)               true, false or null
//     number(out, start, token, p)     a scanned number token; p moves past it; false when refused
//     open(out, p, object)             the bracket at p opens a container: returns the builder's
//                                      frame of it (a Frame), which the walk keeps on its stack
//     close(out, after, frame, inside_row)
//                                      the innermost container, whose frame open returned,
//                                      closes just before `after`;
//                                      `inside_row` when it lies inside a row (a row itself
//                                      does not: the transform settles rows)
template <class Builder>
concept TokenBuilder =
    requires(Builder& builder, typename Builder::Cursor& out, const unsigned char* at,
             const unsigned char*& p, std::size_t size, const text::NumberToken& token,
             MemberName& name, bool flag, const typename Builder::Frame& frame) {
        { builder.cursor() } -> std::same_as<typename Builder::Cursor>;
        builder.finish(out);
        { out.index() } -> std::same_as<std::uint32_t>;
        builder.blank(at);
        builder.string(out, at, size);
        builder.long_string(out, at, size);
        { builder.escaped_string(out, at, at) } -> std::same_as<const unsigned char*>;
        { builder.name(at, size) } -> std::same_as<MemberName>;
        { builder.long_name(at, size) } -> std::same_as<MemberName>;
        { builder.escaped_name(at, at, name) } -> std::same_as<const unsigned char*>;
        builder.literal(out, Literal::null);
        { builder.number(out, at, token, p) } -> std::same_as<bool>;
        { builder.open(out, at, flag) } -> std::same_as<typename Builder::Frame>;
        builder.close(out, at, frame, flag);
    };

// The rows' side.
//     row_begin()                  a row object opens
//     expected_name()              the name the next member most likely has and its closing
//                                  quote, fewer than seventeen bytes, which the walk compares with
//                                  the payload before it scans the name; empty when there is none.
//                                  The walk reads sixteen bytes from its start, all of which must
//                                  be readable (the transform's lie in the padded payload)
//     expected_member()            the member has that name
//     member(name)                 the member has this other name
//     member_value(cell)           that member's value is complete, starting at `cell`
//     row_end()                    the row object closed
//     non_object_row(cell)         an element of the top-level array that is not an object
//                                  starts at `cell`
template <class Observer>
concept RowObserver = requires(Observer& rows, const Observer& const_rows, const MemberName& name,
                               std::uint32_t cell) {
    rows.row_begin();
    { const_rows.expected_name() } -> std::same_as<std::string_view>;
    rows.expected_member();
    rows.member(name);
    rows.member_value(cell);
    rows.row_end();
    rows.non_object_row(cell);
};

}  // namespace vantor::tape
