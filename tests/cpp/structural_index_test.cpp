// The block classifier's kernels against a per-byte definition of the classes, and the
// structural index (its strings, escapes, tokens and UTF-8 check, every kernel) against a
// per-byte scan of the payload.
#include "tape/structural_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "text/block_classifier.h"

namespace {

using vantor::json::BlockClasses;
using vantor::json::BlockKernel;
using vantor::json::kBlockSize;
using vantor::json::StructuralIndex;

// The 64-bit platforms we build for have a vector kernel; a condition that stopped matching
// would leave them on the portable one without a test noticing.
#if (defined(__x86_64__) && !defined(VANTOR_BLOCK_CLASSIFIER_SSE2)) || \
    (defined(__aarch64__) && !defined(VANTOR_BLOCK_CLASSIFIER_NEON))
#error "the block classifier has no vector kernel on this 64-bit platform"
#endif

BlockClasses classes_by_byte(const unsigned char* block) {
    BlockClasses classes{};
    for (int i = 0; i < kBlockSize; ++i) {
        const unsigned char c = block[i];
        const std::uint64_t bit = std::uint64_t{1} << i;
        if (c == '"') classes.quote |= bit;
        if (c == '\\') classes.backslash |= bit;
        if (c == '{' || c == '}' || c == '[' || c == ']' || c == ':' || c == ',') {
            classes.structural |= bit;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') classes.whitespace |= bit;
        if (c < 0x20) classes.control |= bit;
        if (c >= 0x80) classes.non_ascii |= bit;
    }
    return classes;
}

struct Kernel {
    const char* name;
    BlockKernel kernel;
    BlockClasses (*classify)(const unsigned char*);
};

// Every kernel this machine can run; the portable one always.
std::vector<Kernel> runnable_kernels() {
    std::vector<Kernel> kernels{
        {"portable", BlockKernel::portable, vantor::json::classify_block_portable}};
#if defined(VANTOR_BLOCK_CLASSIFIER_SSE2)
    kernels.push_back({"sse2", BlockKernel::sse2, vantor::json::classify_block_sse2});
#endif
#if defined(VANTOR_BLOCK_CLASSIFIER_AVX2)
    if (vantor::json::block_kernel_available(BlockKernel::avx2)) {
        kernels.push_back({"avx2", BlockKernel::avx2, vantor::json::classify_block_avx2_call});
    }
#endif
#if defined(VANTOR_BLOCK_CLASSIFIER_NEON)
    kernels.push_back({"neon", BlockKernel::neon, vantor::json::classify_block_neon});
#endif
    return kernels;
}

void expect_classes(const unsigned char* block, const std::string& what) {
    const BlockClasses expected = classes_by_byte(block);
    for (const Kernel& kernel : runnable_kernels()) {
        const BlockClasses got = kernel.classify(block);
        ASSERT_EQ(got.quote, expected.quote) << kernel.name << ": " << what;
        ASSERT_EQ(got.backslash, expected.backslash) << kernel.name << ": " << what;
        ASSERT_EQ(got.structural, expected.structural) << kernel.name << ": " << what;
        ASSERT_EQ(got.whitespace, expected.whitespace) << kernel.name << ": " << what;
        ASSERT_EQ(got.control, expected.control) << kernel.name << ": " << what;
        ASSERT_EQ(got.non_ascii, expected.non_ascii) << kernel.name << ": " << what;
    }
}

// Every byte value at every position of a block, over fillers of each class: each lane's place
// in the masks and the comparisons' edges (0x1f and 0x20, 0x7f and 0x80, the neighbours of each
// character of a class).
TEST(BlockClassifier, EveryByteValueAtEveryPosition) {
    for (unsigned char filler : {'a', ' ', '"', '\\', ',', '\x01', '\xc3'}) {
        for (int position = 0; position < kBlockSize; ++position) {
            for (unsigned value = 0; value < 256; ++value) {
                unsigned char block[kBlockSize];
                for (auto& b : block)
                    b = filler;
                block[position] = static_cast<unsigned char>(value);
                expect_classes(block, "byte " + std::to_string(value) + " at " +
                                          std::to_string(position) + " in " +
                                          std::to_string(filler));
            }
        }
    }
}

TEST(BlockClassifier, RandomBlocks) {
    std::mt19937_64 random(11);
    const unsigned char alphabet[] = {'"',  '\\', '{', '}', '[',  ']',  ':',  ',',  ' ',  '\t',
                                      '\n', '\r', 'a', '0', 0x00, 0x1f, 0x7f, 0x80, 0xc3, 0xff};
    for (int i = 0; i < 20000; ++i) {
        unsigned char block[kBlockSize];
        for (auto& b : block) {
            b = random() % 2 ? alphabet[random() % std::size(alphabet)]
                             : static_cast<unsigned char>(random());
        }
        expect_classes(block, "random block " + std::to_string(i));
    }
}

// The tokens of a payload found one byte at a time: an odd run of backslashes escapes the next
// byte, unescaped quotes open and close strings, and outside strings the structural characters,
// the opening quotes and the first byte of each run of other bytes that are not whitespace are
// tokens.
std::vector<std::uint32_t> tokens_by_byte(const std::string& payload) {
    std::vector<std::uint32_t> tokens;
    bool in_string = false;
    bool escaped = false;
    bool in_token = false;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(payload[i]);
        const bool quote = c == '"' && !escaped;
        escaped = c == '\\' && !escaped;
        if (in_string) {
            if (quote) in_string = false;
            continue;
        }
        const bool structural =
            c == '{' || c == '}' || c == '[' || c == ']' || c == ':' || c == ',';
        const bool whitespace = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (quote) {
            tokens.push_back(static_cast<std::uint32_t>(i));
            in_string = true;
            in_token = false;
        } else if (structural) {
            tokens.push_back(static_cast<std::uint32_t>(i));
            in_token = false;
        } else if (whitespace) {
            in_token = false;
        } else {
            if (!in_token) tokens.push_back(static_cast<std::uint32_t>(i));
            in_token = true;
        }
    }
    return tokens;
}

// Whether the payload is well-formed UTF-8 (RFC 3629), decoded one code point at a time.
bool utf8_by_code_point(const std::string& payload) {
    std::size_t i = 0;
    while (i < payload.size()) {
        const auto lead = static_cast<unsigned char>(payload[i]);
        std::size_t length;
        std::uint32_t code;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (payload.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(payload[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

struct Indexed {
    std::vector<std::uint32_t> tokens;
    bool well_formed;
};

Indexed index_payload(const std::string& payload, BlockKernel kernel,
                      vantor::json::Utf8Check utf8 = vantor::json::Utf8Check::full) {
    StructuralIndex index(payload, utf8, kernel);
    Indexed indexed{{}, true};
    while (index.next_batch()) {
        indexed.tokens.insert(indexed.tokens.end(), index.offsets(),
                              index.offsets() + index.count());
    }
    indexed.well_formed = index.well_formed();
    return indexed;
}

// The index of every kernel against the per-byte scan; with the UTF-8 check, the tokens are
// compared only where the UTF-8 is well-formed, as the index stops at the first ill-formed
// sequence. Without it, every payload is indexed in full.
void expect_index(const std::string& payload, const std::string& what) {
    const std::vector<std::uint32_t> expected = tokens_by_byte(payload);
    const bool well_formed = utf8_by_code_point(payload);
    for (const Kernel& kernel : runnable_kernels()) {
        const Indexed got = index_payload(payload, kernel.kernel);
        ASSERT_EQ(got.well_formed, well_formed) << kernel.name << ": " << what;
        if (well_formed) {
            ASSERT_EQ(got.tokens, expected) << kernel.name << ": " << what;
        }
        const Indexed unchecked =
            index_payload(payload, kernel.kernel, vantor::json::Utf8Check::left_to_reader);
        ASSERT_TRUE(unchecked.well_formed) << kernel.name << ": " << what;
        ASSERT_EQ(unchecked.tokens, expected) << kernel.name << " unchecked: " << what;
    }
}

TEST(StructuralIndex, Examples) {
    struct Case {
        const char* payload;
        std::vector<std::uint32_t> tokens;
    };
    const Case cases[] = {
        {"", {}},
        {"[]", {0, 1}},
        {R"([{"a":1,"b":[true,null]}])", {0, 1, 2, 5, 6, 7, 8, 11, 12, 13, 17, 18, 22, 23, 24}},
        {R"( [ {"a" : 12 } ] )", {1, 3, 4, 8, 10, 13, 15}},
        {R"(["a\"b,c"])", {0, 1, 9}},       // an escaped quote does not close the string
        {R"(["a\\",1])", {0, 1, 6, 7, 8}},  // an escaped backslash does not escape the quote
        {R"(["\\\"]"])", {0, 1, 8}},
        {"[1x 2,nul l]", {0, 1, 4, 5, 6, 10, 11}},  // runs of other bytes: one token each
        {"[\"a\"x\"b\"]", {0, 1, 4, 5, 8}},         // a run right after a closing quote
    };
    for (const Case& c : cases) {
        for (const Kernel& kernel : runnable_kernels()) {
            const Indexed got = index_payload(c.payload, kernel.kernel);
            EXPECT_TRUE(got.well_formed) << kernel.name << ": " << c.payload;
            EXPECT_EQ(got.tokens, c.tokens) << kernel.name << ": " << c.payload;
        }
        expect_index(c.payload, c.payload);
    }
}

// Backslash runs of every length ending at every offset around a block boundary, before a quote
// or another byte, inside and outside strings: the escape that carries into the next block.
TEST(StructuralIndex, BackslashRunsAcrossBlockBoundaries) {
    for (std::size_t run = 1; run <= 70; ++run) {
        for (std::size_t end = 50; end <= 140; ++end) {
            if (end < run + 2) continue;
            for (char after : {'"', 'x', '\\'}) {
                std::string payload(end - run, ' ');
                payload[1] = '"';  // the run inside a string
                payload += std::string(run, '\\');
                payload += after;
                payload += "\" , [1]\"";
                expect_index(payload, "in a string, run " + std::to_string(run) + " ending at " +
                                          std::to_string(end) + " before " + after);
                payload[1] = ' ';  // the run outside strings
                expect_index(payload, "outside, run " + std::to_string(run) + " ending at " +
                                          std::to_string(end) + " before " + after);
            }
        }
    }
}

// A quote, a structural character and a token's first byte at every offset of the first three
// blocks, in payloads of every length around whole blocks: bit 63 and bit 0 above all, and the
// padded last block.
TEST(StructuralIndex, TokensAtEveryOffsetAndLengthsAroundBlocks) {
    for (std::size_t blocks = 0; blocks <= 3; ++blocks) {
        for (int delta = -2; delta <= 2; ++delta) {
            const auto length = static_cast<std::ptrdiff_t>(blocks * 64) + delta;
            if (length < 1) continue;
            for (std::ptrdiff_t at = 0; at < length; ++at) {
                for (const char* text : {"\"", ",", "7", "\"a\"", "\\\""}) {
                    std::string payload(static_cast<std::size_t>(length), ' ');
                    payload.replace(
                        static_cast<std::size_t>(at),
                        std::min(std::strlen(text), static_cast<std::size_t>(length - at)), text,
                        std::min(std::strlen(text), static_cast<std::size_t>(length - at)));
                    expect_index(payload, std::string(text) + " at " + std::to_string(at) + " of " +
                                              std::to_string(length));
                }
            }
        }
    }
}

// Control and non-ASCII bytes at every offset around a block boundary, inside and outside
// strings, and sequences cut by a block's end or the payload's.
TEST(StructuralIndex, ControlAndNonAsciiBytesAtEveryOffset) {
    const char* const inserts[] = {"\x01",
                                   "\x1f",
                                   "\x7f",
                                   "\x80",
                                   "\xc3\xa9",
                                   "\xc3",
                                   "\xe2\x82\xac",
                                   "\xe2\x82",
                                   "\xed\xa0\x80",
                                   "\xef\xbf\xbf",
                                   "\xf0\x9f\x98\x80",
                                   "\xf4\x90\x80\x80",
                                   "\xc0\xaf",
                                   "\xe0\x80\xaf",
                                   "\xff"};
    for (const char* insert : inserts) {
        for (std::size_t at = 55; at <= 72; ++at) {
            for (bool in_string : {true, false}) {
                std::string payload = "[\"" + std::string(130, 'a') + "\"]";
                if (!in_string) payload = "[" + std::string(130, ' ') + "1]";
                payload.insert(at, insert);
                expect_index(payload, std::string("insert at ") + std::to_string(at));
                // At the very end of the payload too.
                expect_index(payload.substr(0, at + std::strlen(insert)),
                             "cut after insert at " + std::to_string(at));
                expect_index(payload.substr(0, at + std::strlen(insert) - 1),
                             "cut inside insert at " + std::to_string(at));
            }
        }
    }
}

// Sequences next to each other and bytes right after a sequence, at each offset around a block
// boundary: each byte belongs to one sequence, and a continuation byte no sequence takes is
// refused.
TEST(StructuralIndex, Utf8SequencesSideBySide) {
    struct Case {
        const char* text;
        bool well_formed;
    };
    const Case cases[] = {
        {"\xc3\xa9\xc3\xa9", true},      {"\xc3\xa9\x80", false},
        {"\xe2\x82\xac\xc3\xa9", true},  {"\xe2\x82\xac\x80", false},
        {"\xf0\x9f\x98\x80\x80", false}, {"\xf0\x9f\x98\x80\xf0\x9f\x98\x80", true},
        {"\xc3\xc3\xa9", false},         {"\xe2\x82\xc3\xa9", false},
        {"\xdf\xbf\xe0\xa0\x80", true},  {"\xed\x9f\xbf\xee\x80\x80", true},
        {"\xf4\x8f\xbf\xbf", true},      {"\xf0\x8f\xbf\xbf", false},
    };
    for (const Case& c : cases) {
        for (std::size_t at = 58; at <= 66; ++at) {
            std::string payload = "[\"" + std::string(at - 2, 'a') + c.text + "\"]";
            ASSERT_EQ(utf8_by_code_point(payload), c.well_formed) << at;
            expect_index(payload, "sequences at " + std::to_string(at));
        }
    }
}

TEST(StructuralIndex, RandomPayloads) {
    std::mt19937_64 random(5);
    const char* const pieces[] = {"\"",
                                  "\\",
                                  "\\\\",
                                  "\\\"",
                                  "{",
                                  "}",
                                  "[",
                                  "]",
                                  ":",
                                  ",",
                                  " ",
                                  "\n\t",
                                  "12",
                                  "-3.5e7",
                                  "true",
                                  "null",
                                  "abc",
                                  "\xc3\xa9",
                                  "\xe2\x82\xac",
                                  "\xf0\x9f\x98\x80",
                                  "\x01"};
    for (int i = 0; i < 3000; ++i) {
        std::string payload;
        const std::size_t pieces_wanted = random() % 120;
        for (std::size_t k = 0; k < pieces_wanted; ++k)
            payload += pieces[random() % std::size(pieces)];
        if (random() % 8 == 0 && !payload.empty()) {
            payload[random() % payload.size()] = static_cast<char>(random());
        }
        expect_index(payload, "random payload " + std::to_string(i));
    }
}

// Payloads of several batches: a string that spans a whole batch yields no token there, and the
// UTF-8 check and the open string carry across batches.
TEST(StructuralIndex, PayloadsOfSeveralBatches) {
    const std::size_t batch = StructuralIndex::kBatchBytes;
    std::string long_string = "[\"" + std::string(batch * 2 + 5, 'x') + "\",1]";
    expect_index(long_string, "a string over two batches");
    std::string rows = "[";
    while (rows.size() < batch * 3 + 17)
        rows += "{\"id\":12,\"s\":\"caf\xc3\xa9 \\\"x\\\\\"},";
    rows.back() = ']';
    expect_index(rows, "rows over three batches");
    for (std::size_t at : {batch - 2, batch - 1, batch, batch + 1}) {
        std::string split = std::string(at, ' ') + "\"\xf0\x9f\x98\x80\"";
        expect_index(split, "a sequence across a batch's end at " + std::to_string(at));
        split[at + 2] = 'x';
        expect_index(split, "a broken sequence across a batch's end at " + std::to_string(at));
    }
}

}  // namespace
