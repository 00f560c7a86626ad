// Reading speed of the tape reader, the transform's reader, on realistic row payloads of about
// 10 MB: the payload's padded copy read onto a tape, without the transform's column discovery.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "support/padded_copy.h"
#include "tape/read_tape.h"
#include "tape/tape.h"
// GCC 12 reports a false -Wrestrict inside std::string concatenation in the payload builders.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
#include "payloads.h"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

constexpr std::size_t kPayloadBytes = 10u << 20;

// A row observer that asks for nothing: the reader's own work alone.
struct IgnoreRows {
    void row_begin() {}
    std::string_view expected_name() const { return {}; }
    void expected_member() {}
    void member(const vantor::tape::MemberName&) {}
    void member_value(std::uint32_t) {}
    void row_end() {}
    void non_object_row(std::uint32_t) {}
};

void read_rows(benchmark::State& state, std::string (*make_payload)(std::size_t)) {
    const std::string payload = make_payload(kPayloadBytes);
    const vantor::test_support::PaddedCopy padded(payload);
    for (auto _ : state) {
        vantor::tape::Tape tape;
        IgnoreRows rows;
        if (!vantor::tape::read_tape(padded.text(), tape, rows)) {
            state.SkipWithError("the tape reader refused the payload");
            return;
        }
        benchmark::DoNotOptimize(&tape);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}

}  // namespace

BENCHMARK_CAPTURE(read_rows, tool_call_rows, vantor::bench::tool_call_rows)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_rows, number_rows, vantor::bench::number_rows)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_rows, string_rows, vantor::bench::string_rows)
    ->Unit(benchmark::kMillisecond);
