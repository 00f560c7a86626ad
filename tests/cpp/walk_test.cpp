// The walk alone, with stand-ins for the token builder and the row observer that write down what
// they are handed: every token reaches the builder in payload order, with the texts and places
// the walk found, and the rows' names reach the observer, not the builder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/padded_copy.h"
#include "tape/tape_reader.h"
#include "tape/walk_protocols.h"
#include "text/number_scan.h"

namespace {

using vantor::tape::Literal;
using vantor::tape::MemberName;

// The builder's and the observer's calls, one line each, in one log.
struct Log {
    std::string text;
    const unsigned char* payload = nullptr;
    void add(std::string_view line) {
        text += line;
        text += ' ';
    }
    std::string at(const unsigned char* p) const { return std::to_string(p - payload); }
};

std::string bytes(const unsigned char* start, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(start), size);
}

class RecordingBuilder {
  public:
    // The walk's cursor: here only a count of the values handed on.
    struct Cursor {
        std::uint32_t values = 0;
        std::uint32_t index() const { return values; }
    };

    RecordingBuilder(std::string_view input, Log& log) : log_(log) {
        log_.payload = reinterpret_cast<const unsigned char*>(input.data());
    }
    Cursor cursor() { return {}; }
    void finish(Cursor& out) { log_.add("end:" + std::to_string(out.values)); }
    void blank(const unsigned char* p) { log_.add("blank@" + log_.at(p)); }
    void string(Cursor& out, const unsigned char* start, std::size_t size) {
        ++out.values;
        log_.add("s:" + bytes(start, size));
    }
    void long_string(Cursor& out, const unsigned char* start, std::size_t size) {
        ++out.values;
        log_.add("S:" + bytes(start, size));
    }
    // An escaped string is taken as far as its closing quote, its escapes undecoded; a "\x"
    // escape stands for one the builder refuses.
    const unsigned char* escaped_string(Cursor& out, const unsigned char* start,
                                        const unsigned char* backslash) {
        ++out.values;
        return escaped("e:", start, backslash);
    }
    MemberName name(const unsigned char* start, std::size_t size) {
        log_.add("name:" + bytes(start, size));
        return {};
    }
    MemberName long_name(const unsigned char* start, std::size_t size) {
        log_.add("NAME:" + bytes(start, size));
        return {};
    }
    const unsigned char* escaped_name(const unsigned char* start, const unsigned char* backslash,
                                      MemberName&) {
        return escaped("ename:", start, backslash);
    }
    void literal(Cursor& out, Literal literal) {
        ++out.values;
        log_.add(literal == Literal::true_value    ? "true"
                 : literal == Literal::false_value ? "false"
                                                   : "null");
    }
    bool number(Cursor& out, const unsigned char* start, const vantor::text::NumberToken& token,
                const unsigned char*& p) {
        if (token.number_class == vantor::text::NumberClass::refused) return false;
        ++out.values;
        log_.add("n:" + bytes(start, static_cast<std::size_t>(token.end - start)));
        p = token.end;
        return true;
    }
    // The frame the walk keeps for an open container: here where it opened, so that each close
    // shows which opening it was handed back.
    struct Frame {
        const unsigned char* opened;
    };
    Frame open(Cursor& out, const unsigned char* p, bool object) {
        ++out.values;
        log_.add(std::string(object ? "{" : "[") + "@" + log_.at(p));
        return {p};
    }
    void close(Cursor&, const unsigned char* after, const Frame& frame, bool inside_row) {
        log_.add(std::string(inside_row ? "close-in-row@" : "close@") + log_.at(frame.opened) +
                 "-" + log_.at(after));
    }

  private:
    const unsigned char* escaped(const char* tag, const unsigned char* start,
                                 const unsigned char* backslash) {
        const unsigned char* p = backslash;
        while (*p != '"') {
            if (*p == '\\') {
                if (p[1] == 'x') return nullptr;
                ++p;
            }
            ++p;
        }
        log_.add(tag + bytes(start, static_cast<std::size_t>(p - start)) + "@" +
                 log_.at(backslash));
        return p + 1;
    }
    Log& log_;
};

class RecordingRows {
  public:
    // The walk compares the expected name in one block of sixteen bytes, which must be readable
    // after it, as they are where the transform's names lie (in the padded payload).
    explicit RecordingRows(Log& log, std::string_view expected = {}) : log_(log) {
        expected.copy(expected_, sizeof expected_ - 16);
        expected_size_ = std::min(expected.size(), sizeof expected_ - 16);
    }
    void row_begin() { log_.add("row"); }
    std::string_view expected_name() const { return {expected_, expected_size_}; }
    void expected_member() { log_.add("expected"); }
    void member(const MemberName&) {}
    void member_value(std::uint32_t cell) { log_.add("value@" + std::to_string(cell)); }
    void row_end() { log_.add("/row"); }
    void non_object_row(std::uint32_t cell) { log_.add("non-object@" + std::to_string(cell)); }

  private:
    Log& log_;
    char expected_[32] = {};
    std::size_t expected_size_ = 0;
};

static_assert(vantor::tape::TokenBuilder<RecordingBuilder>);
static_assert(vantor::tape::RowObserver<RecordingRows>);

struct WalkCase {
    const char* name;
    std::string_view payload;
    bool accepted;
    std::string log;
    // The name and closing quote the observer expects at every member, if any.
    std::string_view expected = {};
};

const WalkCase kCases[] = {
    {"empty array", "[]", true, "[@0 close@0-2 end:1 "},
    {"one row of every value kind", R"([{"a":1,"b":"x","c":true,"d":false,"e":null,"f":-2.5e3}])",
     true,
     "[@0 {@1 row name:a n:1 value@2 name:b s:x value@3 name:c true value@4 name:d false "
     "value@5 name:e null value@6 name:f n:-2.5e3 value@7 close@1-55 /row close@0-56 end:8 "},
    {"nested containers: their names go to the builder, not the observer", R"([{"a":{"k":[1]}}])",
     true,
     "[@0 {@1 row name:a {@6 s:k [@11 n:1 close-in-row@11-14 close-in-row@6-15 value@2 close@1-16 "
     "/row close@0-17 end:6 "},
    {"a long string and a long name, each past sixteen bytes",
     R"([{"a name longer than 16":"a value longer than sixteen"}])", true,
     "[@0 {@1 row NAME:a name longer than 16 S:a value longer than sixteen value@2 close@1-56 "
     "/row close@0-57 end:3 "},
    {"escapes: from the first backslash on the builder takes the string",
     R"([{"k\n":"a\"b","x":{"\u0041":1}}])", true,
     "[@0 {@1 row ename:k\\n@4 e:a\\\"b@10 value@2 name:x {@19 e:\\u0041@21 n:1 close-in-row@19-31 "
     "value@3 close@1-32 /row close@0-33 end:6 "},
    {"whitespace: each run is named to the builder once, where it starts", "[ {\"a\" :\t1 } ]\n",
     true,
     "[@0 blank@1 {@2 row name:a blank@6 blank@8 n:1 value@2 blank@10 close@2-12 /row blank@12 "
     "close@0-14 blank@14 end:3 "},
    {"rows that are not objects are named where they start, and read in full",
     R"([1,[{"a":2}],{"b":3}])", true,
     "[@0 non-object@1 n:1 non-object@2 [@3 {@4 s:a n:2 close-in-row@4-11 close@3-12 {@13 row "
     "name:b n:3 value@7 close@13-20 /row close@0-21 end:8 "},
    {"the expected name settles a member without a scan", R"([{"id":1},{"id":2}])", true,
     "[@0 {@1 row expected n:1 value@2 close@1-9 /row {@10 row expected n:2 value@4 close@10-18 "
     "/row "
     "close@0-19 end:5 ",
     "id\""},
    {"a name that only starts like the expected one is scanned", R"([{"idx":1}])", true,
     "[@0 {@1 row name:idx n:1 value@2 close@1-10 /row close@0-11 end:3 ", "id\""},
    // Refused: the walk stops where the payload goes wrong.
    {"not an array", R"({"a":1})", false, "end:0 "},
    {"trailing comma in a row", R"([{"a":1,}])", false, "[@0 {@1 row name:a n:1 value@2 end:3 "},
    {"trailing comma in the array", R"([{"a":1},])", false,
     "[@0 {@1 row name:a n:1 value@2 close@1-8 /row non-object@3 end:3 "},
    {"missing colon", R"([{"a" 1}])", false, "[@0 {@1 row name:a blank@5 end:2 "},
    {"a string the payload cuts", R"([{"a":"xyz)", false, "[@0 {@1 row name:a end:2 "},
    {"a control byte in a string", "[{\"a\":\"x\ty\"}]", false, "[@0 {@1 row name:a end:2 "},
    {"an escape the builder refuses", R"([{"a":"\x"}])", false, "[@0 {@1 row name:a end:3 "},
    {"a number the scan refuses", R"([{"a":01}])", false, "[@0 {@1 row name:a end:2 "},
    {"a misspelt literal", R"([{"a":nul}])", false, "[@0 {@1 row name:a end:2 "},
    {"a value after the array", R"([] 1)", false, "[@0 close@0-2 blank@2 end:1 "},
    {"ill-formed UTF-8 is refused before the walk", "[\"\xC3\"]", false, ""},
    {"a name that is not a string", R"([{1:2}])", false, "[@0 {@1 row end:2 "},
    {"a bracket that does not match", R"([{"a":[1}])", false, "[@0 {@1 row name:a [@6 n:1 end:4 "},
};

TEST(Walk, HandsEveryTokenToTheBuilderAndEveryRowNameToTheObserver) {
    for (const WalkCase& c : kCases) {
        Log log;
        RecordingRows rows(log, c.expected);
        const vantor::test_support::PaddedCopy copy(c.payload);
        const bool accepted = vantor::tape::walk_tokens<RecordingBuilder>(copy.text(), rows, log);
        EXPECT_EQ(accepted, c.accepted) << c.name;
        EXPECT_EQ(log.text, c.log) << c.name;
    }
}

// The deepest nesting the grammar allows is read; one level more is refused before the builder
// opens it.
TEST(Walk, RefusesNestingBeyondTheLimit) {
    for (const int depth : {127, 128}) {
        std::string payload = "[{\"a\":";
        for (int level = 2; level < depth; ++level)
            payload += '[';
        for (int level = 2; level < depth; ++level)
            payload += ']';
        payload += "}]";
        Log log;
        RecordingRows rows(log);
        const vantor::test_support::PaddedCopy copy(payload);
        const bool accepted = vantor::tape::walk_tokens<RecordingBuilder>(copy.text(), rows, log);
        EXPECT_EQ(accepted, depth == 127) << depth;
    }
}

}  // namespace
