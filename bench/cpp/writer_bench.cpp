// Throughput of the pieces the tape writer writes with: float text (against std::to_chars as a
// reference point), string literals on ASCII, non-ASCII and escape-heavy text, and integers.
#include <benchmark/benchmark.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "memory/byte_buffer.h"
#include "text/scalar_writer.h"

namespace {

using vantor::memory::ByteBuffer;

constexpr std::size_t batch = 4096;

std::vector<double> random_bit_doubles() {
    std::mt19937_64 rng(1);
    std::vector<double> values;
    while (values.size() < batch) {
        double x = std::bit_cast<double>(rng());
        if (std::isfinite(x)) values.push_back(x);
    }
    return values;
}

// Prices and measurements: two decimal places, a few digits before the point.
std::vector<double> typical_doubles() {
    std::mt19937_64 rng(2);
    std::vector<double> values;
    for (std::size_t i = 0; i < batch; ++i)
        values.push_back(static_cast<double>(rng() % 100000) / 100);
    return values;
}

std::vector<double> integral_doubles() {
    std::mt19937_64 rng(3);
    std::vector<double> values;
    for (std::size_t i = 0; i < batch; ++i)
        values.push_back(static_cast<double>(rng() % 1000000));
    return values;
}

void float_text(benchmark::State& state, const std::vector<double>& values) {
    ByteBuffer out(batch * 25);
    for (auto _ : state) {
        out.clear();
        for (double x : values)
            vantor::text::write_json_float(x, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}

void to_chars_reference(benchmark::State& state, const std::vector<double>& values) {
    std::vector<char> out(batch * 25);
    for (auto _ : state) {
        char* p = out.data();
        for (double x : values)
            p = std::to_chars(p, p + 25, x).ptr;
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}

void BM_FloatText_RandomBits(benchmark::State& state) {
    float_text(state, random_bit_doubles());
}
void BM_FloatText_Typical(benchmark::State& state) {
    float_text(state, typical_doubles());
}
void BM_FloatText_Integral(benchmark::State& state) {
    float_text(state, integral_doubles());
}
void BM_ToChars_RandomBits(benchmark::State& state) {
    to_chars_reference(state, random_bit_doubles());
}
void BM_ToChars_Typical(benchmark::State& state) {
    to_chars_reference(state, typical_doubles());
}
BENCHMARK(BM_FloatText_RandomBits);
BENCHMARK(BM_FloatText_Typical);
BENCHMARK(BM_FloatText_Integral);
BENCHMARK(BM_ToChars_RandomBits);
BENCHMARK(BM_ToChars_Typical);

// 64 KiB of text of one kind, written as one string literal per iteration.
std::string text_of_kind(int kind) {
    std::mt19937_64 rng(4);
    std::string text;
    while (text.size() < 65536) {
        switch (kind) {
            case 0:  // ASCII words
                text += static_cast<char>('a' + rng() % 26);
                if (rng() % 7 == 0) text += ' ';
                break;
            case 1: {  // Non-ASCII: two- and three-byte characters among ASCII
                static const char* const pieces[] = {"\xc3\xab", "\xe2\x82\xac", "\xd0\x96", "a"};
                text += pieces[rng() % 4];
                break;
            }
            default: {  // Escape-heavy: quotes, backslashes, newlines and control bytes
                static const char pieces[] = {'"', '\\', '\n', '\x01', 'a', 'b', '\t', '/'};
                text += pieces[rng() % 8];
                break;
            }
        }
    }
    return text;
}

void BM_StringEscape(benchmark::State& state) {
    std::string text = text_of_kind(static_cast<int>(state.range(0)));
    std::vector<char> out(text.size() * 6 + 10);
    for (auto _ : state) {
        benchmark::DoNotOptimize(vantor::text::write_json_string_unchecked(text, out.data()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_StringEscape)->Arg(0)->ArgName("ascii");
BENCHMARK(BM_StringEscape)->Arg(1)->ArgName("utf8");
BENCHMARK(BM_StringEscape)->Arg(2)->ArgName("escape_heavy");

// Short strings, as member names and typical values are: the per-call cost dominates.
void BM_StringEscape_Short(benchmark::State& state) {
    std::vector<std::string> names;
    for (int i = 0; i < 256; ++i)
        names.push_back("member_" + std::to_string(i * 37));
    std::vector<char> out(256 * (6 * 12 + 10));
    for (auto _ : state) {
        char* p = out.data();
        for (const std::string& name : names)
            p = vantor::text::write_json_string_unchecked(name, p);
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * names.size()));
}
BENCHMARK(BM_StringEscape_Short);

void BM_Integers(benchmark::State& state) {
    // range(0): the largest value, so that the digit counts are spread up to it.
    std::mt19937_64 rng(5);
    std::vector<std::int64_t> values;
    auto limit = static_cast<std::uint64_t>(state.range(0));
    for (std::size_t i = 0; i < batch; ++i) {
        std::uint64_t magnitude = rng() % limit;
        values.push_back(rng() % 2 ? static_cast<std::int64_t>(magnitude)
                                   : -static_cast<std::int64_t>(magnitude));
    }
    ByteBuffer out(batch * 21);
    for (auto _ : state) {
        out.clear();
        for (std::int64_t v : values)
            vantor::text::write_json_signed(v, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}
BENCHMARK(BM_Integers)->Arg(1000)->Arg(INT64_MAX);

}  // namespace
