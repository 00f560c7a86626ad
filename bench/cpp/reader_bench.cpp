// Reading speed of the payload reader on realistic row payloads of about 10 MB, and the heap the
// parsed rows take per payload byte (the arena's reserved bytes over the payload size).
#include <benchmark/benchmark.h>

#include <string>

#include "oracle/value_reader.h"
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

void read_rows(benchmark::State& state, std::string (*make_payload)(std::size_t)) {
    const std::string payload = make_payload(kPayloadBytes);
    double reserved = 0;
    std::size_t rows = 0;
    for (auto _ : state) {
        vantor::memory::Arena arena(vantor::json::reader_arena_first_block(payload.size()));
        vantor::json::ReadResult result = vantor::json::read_payload(payload, arena);
        if (!result.ok()) {
            state.SkipWithError(result.error.c_str());
            return;
        }
        benchmark::DoNotOptimize(result.rows.data());
        reserved = static_cast<double>(arena.bytes_reserved());
        rows = result.rows.size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
    state.counters["heap_per_byte"] = reserved / static_cast<double>(payload.size());
    state.counters["rows"] = static_cast<double>(rows);
}

}  // namespace

BENCHMARK_CAPTURE(read_rows, tool_call_rows, vantor::bench::tool_call_rows)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_rows, number_rows, vantor::bench::number_rows)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_rows, string_rows, vantor::bench::string_rows)
    ->Unit(benchmark::kMillisecond);
