// The long-string scan's kernels, each forced, over the string rows (long texts, half of them
// non-ASCII) and the tool-call rows (short texts) of about 1 MB: the scan called where the fast
// reader calls it, in bytes scanned per second. The reader's choice of kernel rests on these
// figures.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "payloads.h"
#include "support/padded_copy.h"
#include "text/long_string_scan.h"
#include "text/string_scan.h"

namespace {

using vantor::text::StringStopKernel;

// Where the reader calls the scan: sixteen bytes into each string that the first block did not
// settle, that is each string of sixteen bytes and more (its text after the opening quote).
std::vector<std::size_t> long_string_calls(const std::string& payload) {
    std::vector<std::size_t> calls;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        if (payload[i] != '"') continue;
        std::size_t end = i + 1;
        while (end < payload.size() && payload[end] != '"')
            end += payload[end] == '\\' ? 2 : 1;
        if (end - (i + 1) >= 16) calls.push_back(i + 1 + 16);
        i = end;
    }
    return calls;
}

void find_stops(benchmark::State& state, std::string (*make_payload)(std::size_t),
                StringStopKernel kernel) {
    if (!vantor::text::string_stop_kernel_available(kernel)) {
        state.SkipWithError("kernel not available on this machine");
        return;
    }
    const std::string payload = make_payload(1u << 20);
    const vantor::test_support::PaddedCopy padded(payload);
    const auto* begin = reinterpret_cast<const unsigned char*>(padded.text().data());
    const unsigned char* end = begin + payload.size();
    const std::vector<std::size_t> calls = long_string_calls(payload);
    std::size_t scanned = 0;
    for (std::size_t call : calls)
        scanned += static_cast<std::size_t>(
            vantor::text::find_string_stop_portable(begin + call, end) - (begin + call));
    for (auto _ : state) {
        std::size_t found = 0;
        for (std::size_t call : calls)
            found += static_cast<std::size_t>(
                vantor::text::find_string_stop(begin + call, end, kernel) - begin);
        benchmark::DoNotOptimize(found);
    }
    state.counters["calls"] = static_cast<double>(calls.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * scanned));
}

}  // namespace

BENCHMARK_CAPTURE(find_stops, string_rows_baseline, vantor::bench::string_rows,
                  StringStopKernel::baseline);
BENCHMARK_CAPTURE(find_stops, string_rows_avx2, vantor::bench::string_rows, StringStopKernel::avx2);
BENCHMARK_CAPTURE(find_stops, string_rows_avx512, vantor::bench::string_rows,
                  StringStopKernel::avx512);
BENCHMARK_CAPTURE(find_stops, tool_call_rows_baseline, vantor::bench::tool_call_rows,
                  StringStopKernel::baseline);
BENCHMARK_CAPTURE(find_stops, tool_call_rows_avx2, vantor::bench::tool_call_rows,
                  StringStopKernel::avx2);
BENCHMARK_CAPTURE(find_stops, tool_call_rows_avx512, vantor::bench::tool_call_rows,
                  StringStopKernel::avx512);
