// The UTF-8 check's kernels, each forced, on the string rows (non-ASCII text in about half their
// strings) and the tool-call rows (ASCII only) of about 1 MB: bytes per second and, since the
// check is the reader's first pass over every payload, its share of a call's time.
#include <benchmark/benchmark.h>

#include <string>

#include "payloads.h"
#include "text/utf8_check.h"

namespace {

using vantor::text::Utf8Kernel;

void check_utf8(benchmark::State& state, std::string (*make_payload)(std::size_t),
                Utf8Kernel kernel) {
    if (!vantor::text::utf8_kernel_available(kernel)) {
        state.SkipWithError("kernel not available on this machine");
        return;
    }
    const std::string payload = make_payload(1u << 20);
    for (auto _ : state) {
        bool well_formed = vantor::text::is_well_formed_utf8(payload, kernel);
        benchmark::DoNotOptimize(well_formed);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}

}  // namespace

BENCHMARK_CAPTURE(check_utf8, string_rows_portable, vantor::bench::string_rows,
                  Utf8Kernel::portable);
BENCHMARK_CAPTURE(check_utf8, string_rows_avx2, vantor::bench::string_rows, Utf8Kernel::avx2);
BENCHMARK_CAPTURE(check_utf8, string_rows_avx512, vantor::bench::string_rows, Utf8Kernel::avx512);
BENCHMARK_CAPTURE(check_utf8, string_rows_neon, vantor::bench::string_rows, Utf8Kernel::neon);
BENCHMARK_CAPTURE(check_utf8, tool_call_rows_portable, vantor::bench::tool_call_rows,
                  Utf8Kernel::portable);
BENCHMARK_CAPTURE(check_utf8, tool_call_rows_avx2, vantor::bench::tool_call_rows, Utf8Kernel::avx2);
BENCHMARK_CAPTURE(check_utf8, tool_call_rows_avx512, vantor::bench::tool_call_rows,
                  Utf8Kernel::avx512);
BENCHMARK_CAPTURE(check_utf8, tool_call_rows_neon, vantor::bench::tool_call_rows, Utf8Kernel::neon);
