#pragma once
// The tape reader: the walk over a payload's tokens in one forward pass, a state machine with an
// explicit stack of open containers, so its stack use does not grow with the payload's nesting.
// It knows the grammar alone: each token goes to the token builder, which makes the tape
// (tape/tape_builder.h), and the rows' member names go to the row observer (the protocols of both
// are in tape/walk_protocols.h).
//
// The payload's UTF-8 is checked first, in one vector pass (text/utf8_check.h) unless the copy that
// made it found it ASCII (text/ascii_copy.h), so the string scan stops only at quotes, backslashes
// and control bytes. Whitespace is tested with one comparison where a token follows at once, as in
// compact payloads it nearly always does, and runs of it (indentation) are skipped sixteen bytes at
// a time. Reading every byte itself, the walk takes each value's extent from the scan that reads
// it: there is no separate index of token offsets to build and to check against.
//
// Its states are labels and its transitions gotos, where the exact reader (json/exact_reader.h)
// loops over a switch on a stored state: here each state jumps straight to the code of the next
// one, with no state to store and dispatch on again for every token, and the compiler lays the
// common path (value, after the value, next key) out as straight code. The exact reader keeps the
// plainer form: it runs only on a payload this one refused, to say why.
//
// It accepts exactly what the exact reader accepts, but it reports no errors: on any text that
// reader refuses it stops, and the caller reads the payload again with that reader. An element of
// the top-level array that is not an object is read like any value inside a row, and named to the
// observer, whose transform refuses it.
//
// The rows' member names do not go onto the tape: they go to the row observer as they are read,
// which assigns their columns while the name is at hand. A row's cell on the tape is followed
// by its members' values only.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/compiler.h"
#include "tape/walk_protocols.h"
#include "text/byte_classes.h"
#include "text/json_limits.h"
#include "text/long_string_scan.h"
#include "text/number_scan.h"
#include "text/padded_text.h"
#include "text/same_bytes.h"
#include "text/string_scan.h"
#include "text/utf8_check.h"
#include "text/whitespace_scan.h"

namespace vantor::tape {

namespace tape_reader_detail {

// Levels of nesting, the top-level array being level 1 (text/json_limits.h).
inline constexpr int kMaxDepth = text::kMaxNestingDepth;
// The reader's depth: how many containers are open, so which container a byte belongs to.
inline constexpr int kNothingOpen = 0;      // before the top-level array opens, after it closes
inline constexpr int kInTopLevelArray = 1;  // its elements are the rows
inline constexpr int kInRow = 2;            // a row object: its names go to the row observer
inline constexpr int kNoRowOpen = -1;       // an element that is not an object is open

template <TokenBuilder Builder, RowObserver Rows>
class TapeWalk {
  public:
    using Cursor = typename Builder::Cursor;

    // The builder is made here, from the payload and `builder_arguments`, and lives in the walk:
    // a local of the walk's own, it is not read again from memory after every store the observer
    // makes.
    template <class... BuilderArguments>
    TapeWalk(std::string_view input, Rows& rows, BuilderArguments&... builder_arguments)
        : begin_(reinterpret_cast<const unsigned char*>(input.data())),
          end_(begin_ + input.size()),
          builder_(input, builder_arguments...),
          rows_(rows) {}

    [[gnu::always_inline]] bool read() {
        Cursor out = builder_.cursor();
        const bool read = walk(out);
        builder_.finish(out);
        return read;
    }

  private:
    // The walk itself; `out` is the builder's cursor.
    [[gnu::always_inline]] bool walk(Cursor& out) {
        // The cursor, the depth, the cell of the row member being read and the builder's cursor
        // are locals, passed to the helpers by reference: the transform stores its facts while the
        // walk goes on, and a member would be read again from memory after every store.
        const unsigned char* p = first_token();
        int depth = kNothingOpen;
        // The depth of a row object's members, or kNoRowOpen while an element that is not an
        // object is open.
        int row_depth = kInRow;
        std::uint32_t member_value = 0;
        if (*p != '[') return false;
        goto open_container;

    // Where the text ends, p is at the padding's first NUL (text/padded_text.h), which no test
    // below takes for a token: the walk meets the end as it meets any other byte out of place.
    value:  // a value is due at p
        // An element of the top-level array is a row, which must be an object: another value is
        // read all the same, for the payload may yet be refused, and the transform refuses it
        // else.
        if (depth == kInTopLevelArray && *p != '{') [[unlikely]] {
            rows_.non_object_row(out.index());
            if (*p == '[') row_depth = kNoRowOpen;
        }
    value_in_row:  // the same where p is inside a row, so no check of the row is due
        switch (*p) {
            case '[':
            case '{':
                if (depth == kMaxDepth) return false;
                goto open_container;
            case '"':
                if (!read_string(p, out)) return false;
                goto after_value;
            case 't':
                if (!read_literal(p, "true", 4, Literal::true_value, out)) return false;
                goto after_value;
            case 'f':
                if (!read_literal(p, "false", 5, Literal::false_value, out)) return false;
                goto after_value;
            case 'n':
                if (!read_literal(p, "null", 4, Literal::null, out)) return false;
                goto after_value;
            default:
                if (!read_number(p, out)) return false;
                goto after_value;
        }

    open_container:  // the bracket at p opens an array or an object
    {
        const bool object = *p == '{';
        open_[depth++] = Open{builder_.open(out, p, object), object};
        if (depth == row_depth) rows_.row_begin();
        past_structural(p);
        if (*p == (object ? '}' : ']')) goto close_container;
        if (object) goto key;
        goto value;
    }

    close_container:  // p is at the closing bracket of the innermost container
        ++p;
        --depth;
        builder_.close(out, p, open_[depth].frame, depth >= kInRow);
        if (depth == kInTopLevelArray) {
            if (row_depth == kInRow) [[likely]] {
                rows_.row_end();
            } else {
                row_depth = kInRow;
            }
        }
        goto after_value;

    key:  // a key is due at p
        if (*p != '"') return false;
        if (depth == row_depth) goto row_key;
        if (!read_string(p, out)) return false;
        p = skip_whitespace(p);
        if (*p != ':') return false;
        past_structural(p);
        goto value_in_row;

    // The members of rows, most of a payload, take the straightest way: in compact text the
    // colon follows the name, the value the colon, and the next name the comma, each at once.
    row_key:  // a row member's name starts at p
        // The name goes to the observer instead of the tape. Rows mostly repeat the previous
        // row's names in its order: the name expected at this position is compared with the
        // payload first, together with its closing quote, which settles the name without a scan.
        if (const std::string_view expected = rows_.expected_name();
            !expected.empty() && is_text_at(expected, p + 1)) [[likely]] {
            p += expected.size() + 1;
            rows_.expected_member();
        } else {
            MemberName name;
            if (!read_name(p, name)) return false;
            rows_.member(name);
        }
        member_value = out.index();
        if (*p != ':') [[unlikely]] {
            p = skip_whitespace(p);
            if (*p != ':') return false;
        }
        past_structural(p);
        goto value_in_row;

    after_value:  // a value of the innermost open container is complete; p is just past it
        if (depth == row_depth) {
            rows_.member_value(member_value);
            // A comma there is before the padding, so the byte after it can be read.
            if (*p == ',' && p[1] == '"') [[likely]] {
                ++p;
                goto row_key;
            }
            p = skip_whitespace(p);
            if (*p == ',') {
                past_structural(p);
                if (*p != '"') return false;
                goto row_key;
            }
            if (*p != '}') return false;
            goto close_container;
        }
        if (depth == kNothingOpen) return finish(p);
        {
            const bool object = open_[depth - 1].object;
            p = skip_whitespace(p);
            unsigned char c = *p;
            if (c == ',') {
                past_structural(p);
                if (object) goto key;
                goto value;
            }
            if (c != (object ? '}' : ']')) return false;
            goto close_container;
        }
    }

    // After the top-level array: nothing but whitespace.
    bool finish(const unsigned char* p) { return skip_whitespace(p) == end_; }

    // The first token, or the end.
    const unsigned char* first_token() { return skip_whitespace(begin_); }

    // Moves p from the structural character at p to the next token, or to the end.
    void past_structural(const unsigned char*& p) { p = skip_whitespace(p + 1); }

    // The next token at or after p, or the end. A byte there that cannot follow a value (`1x`,
    // `nullx`, `1.5.2`) is refused by the caller's next test. In compact text a token nearly
    // always follows at once, which one test settles (the padding's NUL is not whitespace); runs
    // (the line feed and indentation of indented payloads) are skipped sixteen bytes at a time.
    const unsigned char* skip_whitespace(const unsigned char* p) {
        if (*p <= ' ' && text::kWhitespace[*p]) [[unlikely]] {
            builder_.blank(p);
            return text::skip_whitespace_run(p + 1, end_);
        }
        return p;
    }

    // Whether the payload at `at` holds `text`, at most sixteen bytes of the payload: both are in
    // the padded payload, where sixteen bytes can be read.
    static bool is_text_at(std::string_view text, const unsigned char* at) {
        return text::same_bytes_in_block(text.data(), reinterpret_cast<const char*>(at),
                                         text.size());
    }

    bool read_literal(const unsigned char*& p, const char* word, std::size_t size, Literal literal,
                      Cursor& out) {
        // The padding is long enough for the longest word.
        if (std::memcmp(p, word, size) != 0) return false;
        p += size;
        builder_.literal(out, literal);
        return true;
    }

    // A string value or a nested object's name, whose opening quote is at p. The payload's UTF-8
    // is checked before the walk (walk_tokens), so the scan stops only at a quote, a backslash or
    // a control byte. Most strings (keys above all) are short and plain: one block of sixteen
    // bytes settles them.
    [[gnu::always_inline]] bool read_string(const unsigned char*& p, Cursor& out) {
        return read_text</*kName=*/false>(p, out);
    }

    // The same for a row member's name, which the builder returns instead of placing it.
    [[gnu::always_inline]] bool read_name(const unsigned char*& p, MemberName& name) {
        return read_text</*kName=*/true>(p, name);
    }

    // A string value (into `target`, the cursor) or a row member's name (into `target`, the
    // name), whose opening quote is at p.
    template <bool kName, class Target>
    [[gnu::always_inline]] bool read_text(const unsigned char*& p, Target& target) {
        // The padding lets the block be read near the end, where its NUL stops the scan.
        const unsigned char* start = p + 1;
        const unsigned length = text::first_string_stop_16(start);
        if (length < 16 && start[length] == '"') [[likely]] {
            if constexpr (kName) {
                target = builder_.name(start, length);
            } else {
                builder_.string(target, start, length);
            }
            p = start + length + 1;
            return true;
        }
        p = read_long_text<kName>(start, target);
        return p != nullptr;
    }

    // A longer string, or one near the payload's end, or one with escapes. Returns the byte after
    // it, or nullptr when it is refused.
    template <bool kName, class Target>
    [[gnu::noinline]] const unsigned char* read_long_text(const unsigned char* start,
                                                          Target& target) {
        // A string the payload's end cuts stops at the padding's NUL, a control byte.
        const unsigned char* q = text::find_long_string_stop(start, end_);
        if (*q == '"') {
            const auto size = static_cast<std::size_t>(q - start);
            if constexpr (kName) {
                target = builder_.long_name(start, size);
            } else {
                builder_.long_string(target, start, size);
            }
            return q + 1;
        }
        if (*q != '\\') return nullptr;  // a control byte: refused
        if constexpr (kName) {
            return builder_.escaped_name(start, q, target);
        } else {
            return builder_.escaped_string(target, start, q);
        }
    }

    // A number token at p (a `-` or a digit; the scan refuses any other byte), scanned by the
    // number scan both readers share (text/number_scan.h); the builder makes its cell.
    [[gnu::always_inline]] bool read_number(const unsigned char*& p, Cursor& out) {
        const unsigned char* start = p;
        auto take =
            [this, start, &p, &out](const text::NumberToken& token)
                VANTOR_LAMBDA_ALWAYS_INLINE { return builder_.number(out, start, token, p); };
        return text::scan_number</*kPadded=*/true>(p, end_, take);
    }

    const unsigned char* begin_;
    const unsigned char* end_;
    Builder builder_;
    Rows& rows_;
    // Per open container, the builder's frame of it, and whether it is an object: what may follow
    // its values. The walk keeps both on its one stack, indexed by its depth.
    struct Open {
        typename Builder::Frame frame;
        bool object;
    };
    Open open_[kMaxDepth];
};

}  // namespace tape_reader_detail

// Walks the payload, handing its tokens to a `Builder` made from the payload and
// `builder_arguments`, and its rows' names to `rows`; false when the payload is refused. Out of
// line: the walk's loop is compiled as a function of its own, with its registers to itself,
// whichever caller it has (inlined into its one caller, it took more instructions).
template <TokenBuilder Builder, RowObserver Rows, class... BuilderArguments>
[[gnu::noinline]] bool walk_tokens(text::PaddedText input, Rows& rows,
                                   BuilderArguments&... builder_arguments) {
    // Ill-formed UTF-8 anywhere is refused by the exact reader: inside a string, or outside one,
    // where no byte from 0x80 up is accepted. Checked first, in one vector pass, it leaves the
    // walk's string scan three kinds of byte to stop at. A payload its copy found ASCII needs no
    // pass.
    if (!input.known_ascii() && !text::is_well_formed_utf8(input.view())) return false;
    return tape_reader_detail::TapeWalk<Builder, Rows>(input.view(), rows, builder_arguments...)
        .read();
}

}  // namespace vantor::tape
