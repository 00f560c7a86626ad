// End-to-end throughput of the transform on realistic payloads beside reference points on the
// same bytes (a yyjson read-then-write round trip, a yyjson read, a simdjson DOM parse), and the
// hostile shapes that must stay linear. The references are linked into this benchmark only.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "payloads.h"
#include "support/padded_copy.h"
#include "transform/columnarize.h"

#if defined(VANTOR_HAVE_YYJSON)
#include <yyjson.h>
#endif
#if defined(VANTOR_HAVE_SIMDJSON)
#include <simdjson.h>
#endif

namespace {

using Generator = std::string (*)(std::size_t);

const std::string& cached_payload(const char* shape, Generator generate, std::size_t bytes) {
    static std::map<std::pair<std::string, std::size_t>, std::string> cache;
    auto key = std::make_pair(std::string(shape), bytes);
    auto found = cache.find(key);
    if (found == cache.end()) found = cache.emplace(key, generate(bytes)).first;
    return found->second;
}

void run_columnarize(benchmark::State& state, const std::string& payload) {
    std::size_t output_bytes = 0;
    // Padded once, as the module's one copy of a payload is made before the transform runs.
    const vantor::test_support::PaddedCopy padded(payload);
    for (auto _ : state) {
        vantor::transform::TransformOutcome outcome = vantor::transform::columnarize(padded.text());
        if (outcome.kind != vantor::transform::TransformOutcome::Kind::result) {
            state.SkipWithError(std::string(outcome.text.view()).c_str());
            return;
        }
        output_bytes = outcome.text.size();
        benchmark::DoNotOptimize(outcome.text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
    state.counters["payload_bytes"] = static_cast<double>(payload.size());
    state.counters["output_bytes"] = static_cast<double>(output_bytes);
}

void columnarize_shape(benchmark::State& state, const char* shape, Generator generate) {
    run_columnarize(state,
                    cached_payload(shape, generate, static_cast<std::size_t>(state.range(0))));
}

#if defined(VANTOR_HAVE_YYJSON)
void yyjson_round_trip(benchmark::State& state, const char* shape, Generator generate) {
    const std::string& payload =
        cached_payload(shape, generate, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        yyjson_doc* doc = yyjson_read(payload.data(), payload.size(), 0);
        std::size_t length = 0;
        char* text = yyjson_write(doc, 0, &length);
        benchmark::DoNotOptimize(text);
        free(text);
        yyjson_doc_free(doc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}

void yyjson_read_only(benchmark::State& state, const char* shape, Generator generate) {
    const std::string& payload =
        cached_payload(shape, generate, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        yyjson_doc* doc = yyjson_read(payload.data(), payload.size(), 0);
        benchmark::DoNotOptimize(doc);
        yyjson_doc_free(doc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}
#endif

#if defined(VANTOR_HAVE_SIMDJSON)
void simdjson_parse(benchmark::State& state, const char* shape, Generator generate) {
    const std::string& payload =
        cached_payload(shape, generate, static_cast<std::size_t>(state.range(0)));
    simdjson::padded_string padded(payload);
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element document;
        if (parser.parse(padded).get(document) != simdjson::SUCCESS) {
            state.SkipWithError("simdjson refused the payload");
            return;
        }
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}
#endif

// Each shape at each size: columnarize first, then the references, so that a run shows them side
// by side on the same bytes.
#define VANTOR_SIZES ->Arg(1 << 10)->Arg(100 << 10)->Arg(10 << 20)->Unit(benchmark::kMicrosecond)
#if defined(VANTOR_HAVE_YYJSON)
#define VANTOR_YYJSON(shape)                                                                \
    BENCHMARK_CAPTURE(yyjson_round_trip, shape, #shape, vantor::bench::shape) VANTOR_SIZES; \
    BENCHMARK_CAPTURE(yyjson_read_only, shape, #shape, vantor::bench::shape) VANTOR_SIZES;
#else
#define VANTOR_YYJSON(shape)
#endif
#if defined(VANTOR_HAVE_SIMDJSON)
#define VANTOR_SIMDJSON(shape) \
    BENCHMARK_CAPTURE(simdjson_parse, shape, #shape, vantor::bench::shape) VANTOR_SIZES;
#else
#define VANTOR_SIMDJSON(shape)
#endif
#define VANTOR_SHAPE(shape)                                                                 \
    BENCHMARK_CAPTURE(columnarize_shape, shape, #shape, vantor::bench::shape) VANTOR_SIZES; \
    VANTOR_YYJSON(shape)                                                                    \
    VANTOR_SIMDJSON(shape)
VANTOR_SHAPE(tool_call_rows)
VANTOR_SHAPE(number_rows)
VANTOR_SHAPE(string_rows)
VANTOR_SHAPE(sparse_rows)
VANTOR_SHAPE(wide_rows)
VANTOR_SHAPE(nested_rows)
VANTOR_SHAPE(nested_repeated_rows)
VANTOR_SHAPE(nested_pretty_rows)
VANTOR_SHAPE(nested_repeated_pretty_rows)
VANTOR_SHAPE(airport_rows)

// Hostile shapes, each at several sizes: time per payload byte must stay flat as they grow.
void hostile_unique_members(benchmark::State& state) {
    run_columnarize(
        state, cached_payload(
                   "unique", [](std::size_t n) { return vantor::bench::unique_member_rows(n); },
                   static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(hostile_unique_members)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

void hostile_two_rows_all_null(benchmark::State& state) {
    run_columnarize(
        state, cached_payload(
                   "two_null", [](std::size_t n) { return vantor::bench::two_wide_rows(n, true); },
                   static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(hostile_two_rows_all_null)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

void hostile_two_rows_all_constant(benchmark::State& state) {
    run_columnarize(state, cached_payload(
                               "two_constant",
                               [](std::size_t n) { return vantor::bench::two_wide_rows(n, false); },
                               static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(hostile_two_rows_all_constant)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

void hostile_mostly_constant_columns(benchmark::State& state) {
    run_columnarize(state, cached_payload(
                               "mostly_constant",
                               [](std::size_t columns) {
                                   return vantor::bench::mostly_constant_columns(columns, 20);
                               },
                               static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(hostile_mostly_constant_columns)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// One object of that many members inside a row: the repeated-key check meets it whole.
void hostile_one_wide_object(benchmark::State& state) {
    run_columnarize(state,
                    cached_payload(
                        "one_wide_object",
                        [](std::size_t n) { return vantor::bench::one_wide_object(n, true); },
                        static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(hostile_one_wide_object)
    ->Arg(50000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);

// That many rows each holding a 1,000-member object, its members in another order in each row.
void hostile_rows_of_wide_objects(benchmark::State& state) {
    run_columnarize(
        state, cached_payload(
                   "rows_of_wide_objects",
                   [](std::size_t rows) { return vantor::bench::rows_of_wide_objects(rows, 1000); },
                   static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(hostile_rows_of_wide_objects)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
