// The tape reader through the structural index against the same reader skipping whitespace byte
// by byte: the same tape, or both giving up, on tables of forms and on generated payloads with
// whitespace between their tokens; the whole transform on indented payloads against the exact
// path; and the choice between the two ways.
#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>

#include "tape/structural_index.h"
#include "tape/tape.h"
#include "tape/tape_dump.h"
#include "tape/tape_reader.h"
#include "transform/columnarize.h"

namespace {

using vantor::json::describe_tape;
using vantor::json::read_tape;
using vantor::json::Tape;
using vantor::json::TokenSource;

// Reads the payload both ways and expects the same outcome and, where read, the same cells.
// Returns whether it was read.
bool expect_same_tape(std::string_view payload) {
    Tape by_bytes;
    Tape by_index;
    const bool read_by_bytes = read_tape(payload, by_bytes, TokenSource::bytes);
    const bool read_by_index = read_tape(payload, by_index, TokenSource::index);
    EXPECT_EQ(read_by_index, read_by_bytes) << payload;
    if (read_by_bytes && read_by_index) {
        EXPECT_EQ(describe_tape(by_index), describe_tape(by_bytes)) << payload;
    }
    return read_by_bytes;
}

// The payload with enough whitespace around it that the transform reads it through the index.
std::string spaced_for_index(std::string_view payload) {
    std::string spaced(vantor::json::kIndexSampleBytes, ' ');
    spaced += payload;
    if (spaced.size() < vantor::json::kMinIndexedBytes) {
        spaced.append(vantor::json::kMinIndexedBytes - spaced.size(), ' ');
    }
    return spaced;
}

void expect_transform_agreement(std::string_view payload) {
    vantor::TransformOutcome fast = vantor::columnarize_json(payload);
    vantor::TransformOutcome exact = vantor::columnarize_exact(payload);
    EXPECT_EQ(fast.kind, exact.kind) << payload;
    EXPECT_EQ(fast.text.view(), exact.text.view()) << payload;
}

TEST(IndexedReader, FormsReadAsByteByByte) {
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
        // Values cut short: the index sees one token where the reader reads a shorter value.
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
        {R"([1])", false},
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
        EXPECT_EQ(expect_same_tape(c.payload), c.read) << c.payload;
    }
}

// Ill-formed UTF-8 after the last token, in a later batch of the index than the tokens or in the
// padded last block: the reader leaves UTF-8 to its string reader, and these bytes are no string
// but a token of their own, which it refuses.
TEST(IndexedReader, IllFormedUtf8AfterTheLastToken) {
    const std::string rows = R"([{"a":1}])";
    for (std::size_t spaces :
         {std::size_t{60}, std::size_t{100}, vantor::json::StructuralIndex::kBatchBytes + 7}) {
        for (const char* bytes : {"\xff", "\xc3", "\xe2\x82", "\xed\xa0\x80", "\xc3\xa9"}) {
            const std::string payload = rows + std::string(spaces, ' ') + bytes;
            EXPECT_FALSE(expect_same_tape(payload)) << spaces << " " << bytes;
            const std::string spaced = spaced_for_index(payload);
            ASSERT_TRUE(vantor::json::worth_indexing(spaced));
            expect_transform_agreement(spaced);
        }
    }
}

// Rows of every kind of value with random whitespace between their tokens (none, one byte, or a
// run), long strings among them, in payloads of a few bytes to several batches of the index.
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

TEST(IndexedReader, GeneratedSpacedPayloadsReadAsByteByByte) {
    SpacedRowGenerator generator(17);
    int read = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::size_t rows = i % 100 == 0 ? 400 : static_cast<std::size_t>(i % 12);
        read += expect_same_tape(generator.payload(rows)) ? 1 : 0;
        if (HasFailure()) return;
    }
    // Nearly all are read (a repeated name's settling may give up), or the test says little.
    EXPECT_GT(read, 2700);
}

// One byte of a read payload replaced by another at each offset: both ways give up, or both
// read the same tape.
TEST(IndexedReader, EveryByteReplacedReadsAsByteByByte) {
    const std::string payload =
        "[ {\"a\" : 1.5 , \"b\" : \"x\\\"y\xc3\xa9\" , \"c\" : [ true , null ] } ,\n"
        "  { \"d\" : { \"e\" : -12 } , \"f\" : false } ]\n";
    const char replacements[] = {' ', '"', '\\', ',',    ':',    '}',
                                 ']', '1', 'x',  '\x01', '\xc3', '\xff'};
    for (std::size_t at = 0; at < payload.size(); ++at) {
        for (char replacement : replacements) {
            std::string changed = payload;
            changed[at] = replacement;
            expect_same_tape(changed);
            if (HasFailure()) return;
        }
    }
}

// The whole transform on indented payloads, which it reads through the index, against the exact
// path: read ones and, with one byte replaced, refused ones, whose message the exact path gives.
TEST(IndexedReader, IndentedPayloadsAgreeWithTheExactPath) {
    SpacedRowGenerator generator(23);
    std::mt19937_64 random(29);
    const char replacements[] = {' ', '"', '\\', ',', '}', '0', 'x', '\x01', '\xc3', '\xff'};
    for (int i = 0; i < 300; ++i) {
        const std::string rows = generator.payload(20 + i % 30);
        std::string payload = spaced_for_index(rows);
        ASSERT_TRUE(vantor::json::worth_indexing(payload));
        expect_transform_agreement(payload);
        payload[vantor::json::kIndexSampleBytes + random() % rows.size()] =
            replacements[random() % std::size(replacements)];
        expect_transform_agreement(payload);
        if (HasFailure()) return;
    }
}

TEST(IndexedReader, IndexUsedForPayloadsWithMuchWhitespace) {
    struct Case {
        const char* name;
        std::string payload;
        bool indexed;
    };
    auto rows = [](int count, const char* indent) {
        std::string out = "[";
        for (int i = 0; i < count; ++i) {
            out += i ? "," : "";
            out += std::string("{\n") + indent + "\"id\": " + std::to_string(i) + ",\n" + indent +
                   "\"kind\": \"call\"\n}";
        }
        return out + "]";
    };
    const std::string compact = rows(400, "");
    const Case cases[] = {
        {"compact", compact, false},
        {"indented by eight", rows(400, "        "), true},
        {"indented by two", rows(400, "  "), false},
        {"indented, too short", rows(100, "        "), false},
        {"spaces first", std::string(5000, ' ') + compact, true},
        {"spaces last", compact + std::string(5000, ' '), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vantor::json::worth_indexing(c.payload), c.indexed) << c.name;
        EXPECT_TRUE(expect_same_tape(c.payload)) << c.name;
        expect_transform_agreement(c.payload);
    }
}

}  // namespace
