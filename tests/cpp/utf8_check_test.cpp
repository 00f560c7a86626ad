// The UTF-8 check's kernels against the table of well-formed sequences of RFC 3629, written out
// here byte by byte: every pair of bytes and every lead with chosen followers, inside a vector,
// across the 32- and 64-byte steps and cut short by the text's end, and random text with faults.
#include "text/utf8_check.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using vantor::text::Utf8Kernel;

bool well_formed_by_table(const std::string& text) {
    const auto* b = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned c = b[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned low = 0x80, high = 0xbf;  // the second byte's range
        if (c >= 0xc2 && c <= 0xdf) {
            length = 2;
        } else if (c == 0xe0) {
            length = 3, low = 0xa0;
        } else if ((c >= 0xe1 && c <= 0xec) || c == 0xee || c == 0xef) {
            length = 3;
        } else if (c == 0xed) {
            length = 3, high = 0x9f;
        } else if (c == 0xf0) {
            length = 4, low = 0x90;
        } else if (c >= 0xf1 && c <= 0xf3) {
            length = 4;
        } else if (c == 0xf4) {
            length = 4, high = 0x8f;
        } else {
            return false;
        }
        if (n - i < length || b[i + 1] < low || b[i + 1] > high) return false;
        for (std::size_t k = 2; k < length; ++k) {
            if ((b[i + k] & 0xc0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

std::vector<Utf8Kernel> available_kernels() {
    std::vector<Utf8Kernel> kernels;
    for (Utf8Kernel k :
         {Utf8Kernel::portable, Utf8Kernel::avx2, Utf8Kernel::avx512, Utf8Kernel::neon}) {
        if (vantor::text::utf8_kernel_available(k)) kernels.push_back(k);
    }
    return kernels;
}

// The vector kernels are the point on the machines we build for: one that stopped being
// available would leave them on the portable kernel without a test noticing.
TEST(Utf8Check, AVectorKernelRunsOnThe64BitPlatforms) {
#if defined(__x86_64__) || defined(__aarch64__)
    EXPECT_NE(vantor::text::best_utf8_kernel(), Utf8Kernel::portable);
#else
    GTEST_SKIP() << "no vector kernel on this platform";
#endif
}

// `sequence` placed at `offset` in ASCII text of `size` bytes (or ending the text when the
// offset leaves no room), checked by every kernel against the table.
void expect_kernels_agree(const std::string& sequence, std::size_t offset, std::size_t size,
                          const std::vector<Utf8Kernel>& kernels) {
    std::string text(size, 'a');
    if (offset + sequence.size() > size) text.resize(offset + sequence.size(), 'a');
    text.replace(offset, sequence.size(), sequence);
    const bool expected = well_formed_by_table(text);
    for (Utf8Kernel kernel : kernels) {
        ASSERT_EQ(vantor::text::is_well_formed_utf8(text, kernel), expected)
            << "kernel " << static_cast<int>(kernel) << ", bytes " << std::hex
            << static_cast<unsigned>(static_cast<unsigned char>(sequence[0])) << " "
            << static_cast<unsigned>(static_cast<unsigned char>(sequence[1])) << " at " << std::dec
            << offset << " of " << text.size();
    }
}

TEST(Utf8Check, EveryPairOfBytesInsideAndAcrossSteps) {
    const auto kernels = available_kernels();
    // Inside a vector, across the 32-byte halves and the 64-byte step, in the tail past the last
    // whole step, and ending the text.
    const std::size_t offsets[] = {5, 31, 63, 64 + 40, 130};
    for (unsigned first = 0; first < 256; ++first) {
        for (unsigned second = 0; second < 256; ++second) {
            const std::string pair{static_cast<char>(first), static_cast<char>(second)};
            for (std::size_t offset : offsets)
                expect_kernels_agree(pair, offset, 132, kernels);
        }
    }
}

TEST(Utf8Check, LeadsOfThreeAndFourWithChosenFollowers) {
    const auto kernels = available_kernels();
    const unsigned char followers[] = {0x41, 0x7f, 0x80, 0x8f, 0x90, 0x9f, 0xa0, 0xbf, 0xc0, 0xf5};
    const std::size_t offsets[] = {3, 30, 61, 62, 63, 64 + 62};
    for (unsigned lead = 0xc0; lead < 0x100; ++lead) {
        for (unsigned char second : followers) {
            for (unsigned char third : followers) {
                for (unsigned char fourth : followers) {
                    const std::string sequence{static_cast<char>(lead), static_cast<char>(second),
                                               static_cast<char>(third), static_cast<char>(fourth)};
                    for (std::size_t offset : offsets)
                        expect_kernels_agree(sequence, offset, 192, kernels);
                }
            }
        }
    }
}

// Well-formed sequences cut short by the text's end, at every length around the steps.
TEST(Utf8Check, SequencesCutShortByTheEnd) {
    const auto kernels = available_kernels();
    const std::string sequences[] = {"\xc3\xa9", "\xe6\x9d\xb1", "\xf0\x9f\x99\x82"};
    for (const std::string& sequence : sequences) {
        for (std::size_t size = 0; size < 200; ++size) {
            for (std::size_t keep = 0; keep <= sequence.size(); ++keep) {
                std::string text = std::string(size, 'x') + sequence.substr(0, keep);
                const bool expected = keep == 0 || keep == sequence.size();
                ASSERT_EQ(well_formed_by_table(text), expected);
                for (Utf8Kernel kernel : kernels) {
                    ASSERT_EQ(vantor::text::is_well_formed_utf8(text, kernel), expected)
                        << "kernel " << static_cast<int>(kernel) << ", " << keep << " of "
                        << sequence.size() << " bytes after " << size;
                }
            }
        }
    }
}

void append_code_point(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
}

// Random text of every encoding length, often with one byte changed: long runs of ASCII between
// the sequences exercise the kernels' step over ASCII blocks with a sequence left open before it.
TEST(Utf8Check, RandomTextWithFaults) {
    const auto kernels = available_kernels();
    std::mt19937_64 random(11);
    int ill_formed = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const std::size_t target = random() % 300;
        while (text.size() < target) {
            switch (random() % 5) {
                case 0:
                    text.append(random() % 80, 'q');
                    break;
                case 1:
                    append_code_point(text, static_cast<char32_t>(0x80 + random() % 0x780));
                    break;
                case 2: {
                    auto c = static_cast<char32_t>(0x800 + random() % 0xf800);
                    if (c >= 0xd800 && c < 0xe000) c -= 0x800;
                    append_code_point(text, c);
                    break;
                }
                case 3:
                    append_code_point(text, static_cast<char32_t>(0x10000 + random() % 0x100000));
                    break;
                default:
                    text += static_cast<char>(0x20 + random() % 0x5f);
                    break;
            }
        }
        if (!text.empty() && random() % 2 == 0) {
            text[random() % text.size()] = static_cast<char>(random() % 256);
        }
        const bool expected = well_formed_by_table(text);
        ill_formed += expected ? 0 : 1;
        for (Utf8Kernel kernel : kernels) {
            ASSERT_EQ(vantor::text::is_well_formed_utf8(text, kernel), expected)
                << "kernel " << static_cast<int>(kernel) << ", round " << round;
        }
    }
    // Both answers are exercised often.
    EXPECT_GT(ill_formed, 2000);
    EXPECT_LT(ill_formed, 18000);
}

// Runs of whole ASCII steps between steps holding other bytes: a sequence the step before a run
// leaves open, or a continuation opening the step after it, is an error however long the run,
// and sequences whole on both sides are not. Each case is a text of steps: the step before the
// run ends with `before`, 0 to 3 ASCII steps follow, and the step after begins with `after`,
// with a tail past the last whole step or none.
TEST(Utf8Check, RunsOfAsciiStepsBetweenOtherSteps) {
    const auto kernels = available_kernels();
    constexpr std::size_t kStep = 64;
    struct Case {
        const char* before;  // ends the step before the run
        const char* after;   // begins the step after it
    };
    const Case cases[] = {
        {"", ""},
        {"\xc3\xa9", "\xc3\xa9"},              // whole sequences on both sides
        {"\xf0\x9f\x99\x82", "\xe6\x9d\xb1"},  // whole sequences of four and three
        {"\xc3", "\xa9"},                      // a sequence split by the run
        {"\xe6\x9d", "\xb1"},
        {"\xf0\x9f\x99", "\x82"},
        {"\xf0", "\x9f\x99\x82"},
        {"\xc3", ""},  // left open before ASCII
        {"\xf0\x9f", "a"},
        {"", "\x80"},  // a continuation after ASCII
        {"\xc3\xa9", "\xbf\xc3\xa9"},
        {"", "\xed\xa0\x80"},  // a surrogate after the run
        {"\xe0\x80", "\x80"},  // an overlong form split by the run
    };
    for (const Case& c : cases) {
        for (std::size_t run = 0; run <= 3; ++run) {
            for (std::size_t tail : {std::size_t{0}, std::size_t{5}}) {
                const std::string before = c.before;
                std::string text = std::string(kStep - before.size(), 'b') + before;
                text += std::string(run * kStep, 'r');
                std::string after = c.after;
                after += std::string(kStep - after.size(), 'a');
                // A byte above ASCII later in the step after the run keeps it a checked step.
                after.replace(40, 2, "\xc2\xa2");
                text += after + std::string(tail, 't');
                const bool expected = well_formed_by_table(text);
                for (Utf8Kernel kernel : kernels) {
                    ASSERT_EQ(vantor::text::is_well_formed_utf8(text, kernel), expected)
                        << "kernel " << static_cast<int>(kernel) << ", case " << (&c - cases)
                        << ", run of " << run << " steps, tail " << tail;
                }
            }
        }
    }
}

}  // namespace
