// The UTF-8 check's kernels, each forced, on the string rows (non-ASCII text in about half their
// strings) and the tool-call rows (ASCII only) of about 1 MB: bytes per second and, since the
// check is the reader's first pass over every payload, its share of a call's time. Beside them, on
// the same bytes, simdjson's counterparts from the C peers' library: its UTF-8 validation alone,
// and its stage 1 alone (the structural indexing its On-Demand parser does in iterate, UTF-8
// check included, before anything is read), the yardstick of a first pass that classifies every
// byte. The label names the kernel simdjson chose at run time for both.
#include <benchmark/benchmark.h>

#include <string>

#include "payloads.h"
#include "text/utf8_check.h"

#if defined(VANTOR_HAVE_C_PEERS)
#include "c_peers.h"
#endif

namespace {

using vantor::text::Utf8Kernel;

constexpr std::size_t kPayloadBytes = 1u << 20;

void check_utf8(benchmark::State& state, std::string (*make_payload)(std::size_t),
                Utf8Kernel kernel) {
    if (!vantor::text::utf8_kernel_available(kernel)) {
        state.SkipWithError("kernel not available on this machine");
        return;
    }
    const std::string payload = make_payload(kPayloadBytes);
    for (auto _ : state) {
        // A refusal would end the pass early and flatter it.
        if (!vantor::text::is_well_formed_utf8(payload, kernel)) {
            state.SkipWithError("the check refused the payload");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}

#if defined(VANTOR_HAVE_C_PEERS)
void simdjson_validate_utf8(benchmark::State& state, std::string (*make_payload)(std::size_t)) {
    const std::string payload = make_payload(kPayloadBytes);
    state.SetLabel(vantor_bench_simdjson_active_kernel());
    for (auto _ : state) {
        if (vantor_bench_simdjson_validate_utf8(payload.data(), payload.size()) != 0) {
            state.SkipWithError("simdjson refused the payload");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}

void simdjson_stage1(benchmark::State& state, std::string (*make_payload)(std::size_t)) {
    // Padded once, outside the timing, as the module's payload is padded by the copy it makes
    // anyway: the pass alone is timed, as the UTF-8 check's is.
    std::string padded = make_payload(kPayloadBytes);
    const std::size_t size = padded.size();
    padded.append(vantor_bench_simdjson_padding, '\0');
    state.SetLabel(vantor_bench_simdjson_active_kernel());
    for (auto _ : state) {
        if (vantor_bench_simdjson_stage1(padded.data(), size, padded.size()) != 0) {
            state.SkipWithError("simdjson refused the payload");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
#endif

}  // namespace

#if defined(VANTOR_HAVE_C_PEERS)
#define VANTOR_SIMDJSON_PASSES(shape)                                       \
    BENCHMARK_CAPTURE(simdjson_validate_utf8, shape, vantor::bench::shape); \
    BENCHMARK_CAPTURE(simdjson_stage1, shape, vantor::bench::shape);
#else
#define VANTOR_SIMDJSON_PASSES(shape)
#endif

BENCHMARK_CAPTURE(check_utf8, string_rows_portable, vantor::bench::string_rows,
                  Utf8Kernel::portable);
BENCHMARK_CAPTURE(check_utf8, string_rows_avx2, vantor::bench::string_rows, Utf8Kernel::avx2);
BENCHMARK_CAPTURE(check_utf8, string_rows_avx512, vantor::bench::string_rows, Utf8Kernel::avx512);
BENCHMARK_CAPTURE(check_utf8, string_rows_neon, vantor::bench::string_rows, Utf8Kernel::neon);
VANTOR_SIMDJSON_PASSES(string_rows)
BENCHMARK_CAPTURE(check_utf8, tool_call_rows_portable, vantor::bench::tool_call_rows,
                  Utf8Kernel::portable);
BENCHMARK_CAPTURE(check_utf8, tool_call_rows_avx2, vantor::bench::tool_call_rows, Utf8Kernel::avx2);
BENCHMARK_CAPTURE(check_utf8, tool_call_rows_avx512, vantor::bench::tool_call_rows,
                  Utf8Kernel::avx512);
BENCHMARK_CAPTURE(check_utf8, tool_call_rows_neon, vantor::bench::tool_call_rows, Utf8Kernel::neon);
VANTOR_SIMDJSON_PASSES(tool_call_rows)
