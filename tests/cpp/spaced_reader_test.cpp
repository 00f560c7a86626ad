// The tape reader on payloads with whitespace and with ill-formed text: the whole transform
// against the reference transform (the same result bytes, or the same message) on tables of forms,
// on generated payloads with random whitespace between their tokens (none, one byte, or runs that
// the reader skips sixteen bytes at a time), and with one byte replaced at each offset; and the
// whitespace run scan against a byte-by-byte definition.
#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/agreement.h"
#include "support/padded_copy.h"
#include "tape/read_tape.h"
#include "tape/tape.h"
#include "tape_support.h"
#include "text/whitespace_scan.h"
#include "transform/columnarize.h"

namespace {

using vantor::tape::read_tape;
using vantor::tape::Tape;

// The transform against the reference (tests/support/agreement.h). Returns whether the tape reader
// read the payload.
bool expect_transform_agreement(std::string_view payload) {
    EXPECT_EQ(vantor::test_support::disagreement(payload), "") << payload;
    const vantor::test_support::PaddedCopy padded(payload);
    Tape tape;
    return read_tape(padded.text(), tape);
}

TEST(SpacedReader, FormsAgreeWithTheReference) {
    struct Case {
        const char* payload;
        bool read;
    };
    const Case cases[] = {
        {R"([{"a":1,"b":"x","c":[1,2,{"d":null}],"e":1.5e3,"f":"\n"}])", true},
        {" \t\r\n[ { \"a\" : 1 , \"b\" : [ true , false , null ] } , { } ] \n", true},
        {"[]", true},
        {"  [  ]  ", true},
        {R"([{"a":"q\"uote","b\\":"back\\slash\\\\","c":"\u00e9\ud83d\ude00"}])", true},
        {"[{\"a\":\"caf\xc3\xa9\",\"\xe2\x82\xac\":1}]", true},
        {R"([{"a":-0,"b":0.5,"c":1e400,"d":123456789012345678901234}])", false},
        {R"([{"a":-0,"b":0.5,"c":1e300,"d":123456789012345678901234}])", true},
        // Values cut short: a stray byte right after a value.
        {R"([{"a":1x}])", false},
        {R"([{"a":1.5.2}])", false},
        {R"([{"a":nullx}])", false},
        {R"([{"a":truefalse}])", false},
        {R"([{"a":tru}])", false},
        {R"([{"a":1-2}])", false},
        {R"([{"a":"s"x}])", false},
        {R"([{"a":"s""t"}])", false},
        {R"([{"a" "b":1}])", false},
        {R"([{"a":1 2}])", false},
        {R"([{"a":1}] x)", false},
        {R"([{"a":1}] [])", false},
        {R"([{"a":1}])"
         "\x01",
         false},
        {"[{\"a\":1}]\xc3\xa9", false},
        {"[{\"a\":1}\x0b]", false},
        {"\xef\xbb\xbf[]", false},
        {"[{\"a\":\"\xff\"}]", false},
        {"[{\"a\":\"\xc3\"}]", false},
        {"[{\"a\":\"tab\there\"}]", false},
        {"[{\"a\":1}]  \xff", false},
        {R"([{"a":"unterminated}])", false},
        {R"([{"a":1},])", false},
        {R"([{"a":1,}])", false},
        {R"([{"a":[1,]}])", false},
        {R"([{"a"::1}])", false},
        {R"([{"a":1}})", false},
        {R"([{"a":1]])", false},
        {R"([{"a":\"x"}])", false},
        {R"([{"a":1}],)", false},
        {R"([1])", true},
        {R"({})", false},
        {"", false},
        {"   ", false},
        {"[", false},
        {"[{", false},
        {"[{\"a\"", false},
        {"[{\"a\":", false},
        {"[{\"a\":1", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(expect_transform_agreement(c.payload), c.read) << c.payload;
    }
}

// Ill-formed UTF-8 after the last token, before and after the UTF-8 check's last whole step:
// the reader refuses the payload before its walk.
TEST(SpacedReader, IllFormedUtf8AfterTheLastToken) {
    const std::string rows = R"([{"a":1}])";
    for (std::size_t spaces :
         {std::size_t{0}, std::size_t{60}, std::size_t{100}, std::size_t{20000}}) {
        for (const char* bytes : {"\xff", "\xc3", "\xe2\x82", "\xed\xa0\x80", "\xc3\xa9"}) {
            const std::string payload = rows + std::string(spaces, ' ') + bytes;
            EXPECT_FALSE(expect_transform_agreement(payload)) << spaces << " " << bytes;
        }
    }
}

// Rows of every kind of value with random whitespace between their tokens (none, one byte, or a
// run), long strings among them, in payloads of a few bytes to some hundreds of kilobytes.
class SpacedRowGenerator {
  public:
    explicit SpacedRowGenerator(unsigned seed) : random_(seed) {}

    std::string payload(std::size_t rows) {
        std::string out;
        space(out);
        out += '[';
        for (std::size_t r = 0; r < rows; ++r) {
            if (r) comma(out);
            space(out);
            object(out, 0);
        }
        space(out);
        out += ']';
        space(out);
        return out;
    }

  private:
    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(random_() % n); }

    void space(std::string& out) {
        static const char* const spaces[] = {
            "",       "",   " ",      "\n",
            "\n    ", "\t", "\r\n  ", "                                                "};
        out += spaces[pick(std::size(spaces))];
    }

    void comma(std::string& out) {
        space(out);
        out += ',';
        space(out);
    }

    void string(std::string& out) {
        static const char* const strings[] = {"\"id\"",
                                              "\"\"",
                                              "\"a\\\"b\"",
                                              "\"back\\\\\"",
                                              "\"caf\xc3\xa9\"",
                                              "\"\\u00e9\\ud83d\\ude00\"",
                                              "\"\xf0\x9f\x98\x80 \xe2\x82\xac\"",
                                              "\"x\\\\\\\"y\""};
        if (pick(40) == 0) {
            // Long enough to span blocks, now and then batches.
            out += '"';
            out += std::string(pick(2) ? 100 + pick(200) : 20000 + pick(20000), 'z');
            out += '"';
            return;
        }
        out += strings[pick(std::size(strings))];
    }

    void value(std::string& out, int depth) {
        static const char* const scalars[] = {
            "0",    "-7", "12.5", "1e3", "-0.0", "true", "false", "null", "123456789012345678",
            "0.001"};
        const std::size_t kind = depth > 3 ? pick(3) : pick(5);
        if (kind == 0) {
            out += scalars[pick(std::size(scalars))];
        } else if (kind == 1) {
            string(out);
        } else if (kind == 2) {
            out += scalars[pick(std::size(scalars))];
        } else if (kind == 3) {
            out += '[';
            const std::size_t n = pick(4);
            for (std::size_t i = 0; i < n; ++i) {
                if (i) comma(out);
                space(out);
                value(out, depth + 1);
            }
            space(out);
            out += ']';
        } else {
            object(out, depth + 1);
        }
    }

    void object(std::string& out, int depth) {
        out += '{';
        const std::size_t n = pick(5);
        for (std::size_t i = 0; i < n; ++i) {
            if (i) comma(out);
            space(out);
            out += "\"k" + std::to_string(pick(8)) + '"';
            space(out);
            out += ':';
            space(out);
            value(out, depth);
        }
        space(out);
        out += '}';
    }

    std::mt19937_64 random_;
};

TEST(SpacedReader, GeneratedSpacedPayloadsAgreeWithTheReference) {
    SpacedRowGenerator generator(17);
    int read = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::size_t rows = i % 100 == 0 ? 400 : static_cast<std::size_t>(i % 12);
        read += expect_transform_agreement(generator.payload(rows)) ? 1 : 0;
        if (HasFailure()) return;
    }
    // Nearly all are read (a repeated name's settling may give up), or the test says little.
    EXPECT_GT(read, 2700);
}

// One byte of a read payload replaced by another at each offset: the tape reader refuses or reads
// it, and either way the outcome is the reference's.
TEST(SpacedReader, EveryByteReplacedAgreesWithTheReference) {
    const std::string payload =
        "[ {\"a\" : 1.5 , \"b\" : \"x\\\"y\xc3\xa9\" , \"c\" : [ true , null ] } ,\n"
        "  { \"d\" : { \"e\" : -12 } , \"f\" : false } ]\n";
    const char replacements[] = {' ', '"', '\\', ',',    ':',    '}',
                                 ']', '1', 'x',  '\x01', '\xc3', '\xff'};
    for (std::size_t at = 0; at < payload.size(); ++at) {
        for (char replacement : replacements) {
            std::string changed = payload;
            changed[at] = replacement;
            expect_transform_agreement(changed);
            if (HasFailure()) return;
        }
    }
}

// Generated rows with one byte replaced at random: refused ones get the reference's message.
TEST(SpacedReader, ChangedPayloadsAgreeWithTheReference) {
    SpacedRowGenerator generator(23);
    std::mt19937_64 random(29);
    const char replacements[] = {' ', '"', '\\', ',', '}', '0', 'x', '\x01', '\xc3', '\xff'};
    for (int i = 0; i < 300; ++i) {
        std::string payload = generator.payload(20 + i % 30);
        expect_transform_agreement(payload);
        payload[random() % payload.size()] = replacements[random() % std::size(replacements)];
        expect_transform_agreement(payload);
        if (HasFailure()) return;
    }
}

// Every byte value at every position of the first 40 bytes after a run of whitespace of each
// kind, in texts of lengths around the sixteen-byte step.
TEST(WhitespaceScan, VectorAndPortableScansAgreeWithTheDefinition) {
    const char whitespace[] = {' ', '\n', '\t', '\r'};
    for (std::size_t size :
         {std::size_t{1}, std::size_t{15}, std::size_t{16}, std::size_t{17}, std::size_t{40}}) {
        for (std::size_t position = 0; position < size; ++position) {
            for (unsigned value = 0; value < 256; ++value) {
                std::vector<unsigned char> bytes(size);
                for (std::size_t i = 0; i < size; ++i)
                    bytes[i] = static_cast<unsigned char>(whitespace[(i * 7 + value) % 4]);
                bytes[position] = static_cast<unsigned char>(value);
                const unsigned char* begin = bytes.data();
                const unsigned char* end = begin + size;
                const bool stops = value != ' ' && value != '\n' && value != '\t' && value != '\r';
                const std::size_t expected = stops ? position : size;
                ASSERT_EQ(vantor::text::skip_whitespace_run(begin, end) - begin, expected)
                    << "byte " << value << " at " << position << " of " << size;
                ASSERT_EQ(vantor::text::skip_whitespace_run_portable(begin, end) - begin, expected)
                    << "byte " << value << " at " << position << " of " << size;
            }
        }
    }
}

}  // namespace
