// The string scans' vector and portable paths against byte-by-byte definitions: the plain run
// (stops at quotes, backslashes, control bytes and non-ASCII bytes) and the string stop in text of
// checked UTF-8 (non-ASCII bytes are plain there).
#include "text/string_scan.h"

#include <gtest/gtest.h>

#include "text/long_string_scan.h"

#include <cstddef>
#include <random>
#include <vector>

namespace {

// The 64-bit platforms we build for take a vector path; a condition that stopped matching would
// leave them on the portable one without a test noticing.
#if (defined(__x86_64__) && !defined(VANTOR_STRING_SCAN_SSE2)) || \
    (defined(__aarch64__) && !defined(VANTOR_STRING_SCAN_NEON))
#error "the string scan takes no vector path on this 64-bit platform"
#endif

using Scan = const unsigned char* (*)(const unsigned char*, const unsigned char*);

struct ScanCase {
    const char* name;
    Scan vector;
    Scan portable;
    bool (*stops)(unsigned char);
    // The first stop among sixteen readable bytes, 16 for none; null where the scan has none.
    unsigned (*first_of_16)(const unsigned char*);
};

const ScanCase kScans[] = {
    {"plain run", vantor::text::find_run_end, vantor::text::find_run_end_portable,
     [](unsigned char c) { return c < 0x20 || c >= 0x80 || c == '"' || c == '\\'; }, nullptr},
    {"string stop", vantor::text::find_string_stop, vantor::text::find_string_stop_portable,
     [](unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; },
     vantor::text::first_string_stop_16},
};

// Every byte value at every position of a 16-byte block, in plain text of 16 and of 40 bytes (a
// vector step, then the rest): the comparisons' edges (0x1f and 0x20, 0x7f and 0x80, the
// neighbours of the quote and the backslash) and each lane's place in the vector's mask.
TEST(StringScan, EveryByteValueAtEveryPositionOfABlock) {
    for (const ScanCase& scan : kScans) {
        for (std::size_t size : {std::size_t{16}, std::size_t{40}}) {
            for (std::size_t position = 0; position < 16; ++position) {
                for (unsigned value = 0; value < 256; ++value) {
                    std::vector<unsigned char> bytes(size, 'a');
                    bytes[position] = static_cast<unsigned char>(value);
                    const unsigned char* begin = bytes.data();
                    const unsigned char* end = begin + size;
                    bool ends = scan.stops(static_cast<unsigned char>(value));
                    std::size_t expected = ends ? position : size;
                    ASSERT_EQ(scan.vector(begin, end) - begin, expected)
                        << scan.name << ": byte " << value << " at " << position << " of " << size;
                    ASSERT_EQ(scan.portable(begin, end) - begin, expected)
                        << scan.name << ": byte " << value << " at " << position << " of " << size;
                    if (scan.first_of_16 != nullptr) {
                        ASSERT_EQ(scan.first_of_16(begin), ends ? position : 16u)
                            << scan.name << ": byte " << value << " at " << position;
                    }
                }
            }
        }
    }
}

TEST(StringScan, VectorAndPortableScansFindTheSameByte) {
    std::mt19937_64 random(3);
    const unsigned char specials[] = {'"', '\\', 0x00, 0x1f, 0x80, 0xff, 0xc3};
    for (const ScanCase& scan : kScans) {
        for (int i = 0; i < 20000; ++i) {
            std::vector<unsigned char> bytes(random() % 70);
            for (auto& b : bytes)
                b = static_cast<unsigned char>(0x20 + random() % 0x5f);
            if (!bytes.empty() && random() % 4 != 0) {
                bytes[random() % bytes.size()] = specials[random() % std::size(specials)];
            }
            const unsigned char* begin = bytes.data();
            const unsigned char* end = begin + bytes.size();
            const unsigned char* expected = begin;
            while (expected < end && !scan.stops(*expected))
                ++expected;
            ASSERT_EQ(scan.vector(begin, end), expected) << scan.name;
            ASSERT_EQ(scan.portable(begin, end), expected) << scan.name;
            if (scan.first_of_16 != nullptr && bytes.size() >= 16) {
                auto within = static_cast<unsigned>(expected - begin);
                ASSERT_EQ(scan.first_of_16(begin), within < 16 ? within : 16u) << scan.name;
            }
        }
    }
}

// The long-string kernels, each where the machine runs it, against the byte-by-byte definition:
// every byte value at every position of a whole step of the widest one, in texts of one step, of
// a step and a rest, and of several steps; and random texts of every length up to a few steps.
TEST(StringScan, EachLongStringKernelFindsTheFirstStop) {
    using vantor::text::StringStopKernel;
    auto stops = [](unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; };
    std::mt19937_64 random(5);
    const unsigned char specials[] = {'"', '\\', 0x00, 0x1f, 0x20, 0x7f, 0x80, 0xff, 0xc3};
    int kernels_run = 0;
    for (StringStopKernel kernel :
         {StringStopKernel::baseline, StringStopKernel::avx2, StringStopKernel::avx512}) {
        if (!vantor::text::string_stop_kernel_available(kernel)) continue;
        ++kernels_run;
        const int name = static_cast<int>(kernel);
        for (std::size_t size : {std::size_t{64}, std::size_t{100}, std::size_t{256}}) {
            for (std::size_t position = 0; position < 64; ++position) {
                for (unsigned value = 0; value < 256; ++value) {
                    std::vector<unsigned char> bytes(size, 'a');
                    bytes[position] = static_cast<unsigned char>(value);
                    // A second stop further on must not be taken for the first.
                    bytes[size - 1] = '"';
                    const unsigned char* begin = bytes.data();
                    const std::size_t expected =
                        stops(static_cast<unsigned char>(value)) ? position : size - 1;
                    ASSERT_EQ(vantor::text::find_string_stop(begin, begin + size, kernel) - begin,
                              expected)
                        << "kernel " << name << ": byte " << value << " at " << position << " of "
                        << size;
                }
            }
        }
        for (int i = 0; i < 20000; ++i) {
            std::vector<unsigned char> bytes(random() % 300);
            for (auto& b : bytes)
                b = static_cast<unsigned char>(0x20 + random() % 0xe0);
            for (int n = static_cast<int>(random() % 3); n > 0 && !bytes.empty(); --n)
                bytes[random() % bytes.size()] = specials[random() % std::size(specials)];
            const unsigned char* begin = bytes.data();
            const unsigned char* end = begin + bytes.size();
            const unsigned char* expected = begin;
            while (expected < end && !stops(*expected))
                ++expected;
            ASSERT_EQ(vantor::text::find_string_stop(begin, end, kernel), expected)
                << "kernel " << name << ", " << bytes.size() << " bytes";
        }
    }
    EXPECT_GE(kernels_run, 1);
    EXPECT_TRUE(
        vantor::text::string_stop_kernel_available(vantor::text::best_string_stop_kernel()));
}

}  // namespace
