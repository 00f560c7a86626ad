#pragma once
// Reference points for bench/python/bench.py, which loads this library with ctypes: plain C
// functions over a payload's bytes. The library exists for the benchmark only; the module never
// links or loads it.
#include <cstddef>

// The whole build hides symbols by default; ctypes finds these by name.
#if defined(_WIN32)
#define VANTOR_BENCH_EXPORT __declspec(dllexport)
#else
#define VANTOR_BENCH_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Nothing: the cost of a ctypes call with a payload argument, which every other function here
// pays as well. Returns 0.
VANTOR_BENCH_EXPORT long long vantor_bench_nothing(const char* data, std::size_t size);

#if defined(VANTOR_HAVE_YYJSON)
// yyjson reads the payload into its document, writes the document back compact and frees both.
// Returns the length of the text written, or -1 when yyjson refuses the payload.
VANTOR_BENCH_EXPORT long long vantor_bench_yyjson_round_trip(const char* data, std::size_t size);
#endif

#if defined(VANTOR_HAVE_SIMDJSON)
// simdjson's DOM parser reads the payload into its document, nothing more. Returns 0, or -1 when
// simdjson refuses the payload.
VANTOR_BENCH_EXPORT long long vantor_bench_simdjson_parse(const char* data, std::size_t size);

// A walk over the rows with simdjson's On-Demand API that does less than columnarize: it finds
// each member's column (the one at the same position in the previous row when the name matches,
// else through a hash map), has simdjson check each number and literal, and copies the text of
// every value, followed by a comma, into one output buffer, then each column's name in quotes,
// followed by a comma. No constant test, no null filling, no escapes read. Returns the output's
// length, or -1 when simdjson refuses the payload or it is not an array of objects.
VANTOR_BENCH_EXPORT long long vantor_bench_simdjson_ondemand_walk(const char* data,
                                                                  std::size_t size);

// The name of the simdjson kernel the On-Demand walk was compiled for ("fallback", "westmere",
// "haswell", "icelake", "arm64"...): On-Demand picks it when compiled, not at run time.
VANTOR_BENCH_EXPORT const char* vantor_bench_simdjson_ondemand_kernel();
#endif
}
