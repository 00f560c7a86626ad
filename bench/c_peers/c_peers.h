#pragma once
// Reference points for bench/python/bench.py, which loads this library with ctypes, and for the
// C++ benchmark's UTF-8 check, which links it: plain C functions over a payload's bytes. The
// library exists for the benchmarks only; the module never links or loads it.
#include <cstddef>

// The bytes past a payload's end that simdjson may read (simdjson::SIMDJSON_PADDING, checked
// against it in c_peers.cpp), for a caller that pads a payload itself.
inline constexpr std::size_t vantor_bench_simdjson_padding = 64;

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

// A walk over the rows with simdjson's On-Demand API that does the least a columnarize refusing
// every payload that is not JSON must do: it unescapes every key and string, parses every number
// (an integer beyond 64 bits counts as valid) and literal, walks every object and array inside a
// row to its end with the same checks, and checks the end of the document. It finds each row
// member's column (the one at the same position in the previous row when the unescaped name
// matches, else through a hash map) and copies the text of every row value, followed by a comma,
// into one output buffer: a scalar's as it stands in the payload, an object's or array's compact
// (no blanks outside strings); then each column's unescaped name in quotes, followed by a comma.
// No constant test, no null filling, no escapes written anew. Returns the output's length, or -1
// when the payload is not JSON or not an array of objects.
VANTOR_BENCH_EXPORT long long vantor_bench_simdjson_validating_walk(const char* data,
                                                                    std::size_t size);

// The name of the simdjson kernel the validating walk was compiled for ("fallback", "westmere",
// "haswell", "icelake", "arm64"...): On-Demand picks it when compiled, not at run time.
VANTOR_BENCH_EXPORT const char* vantor_bench_simdjson_ondemand_kernel();

// The two functions below are the yardsticks of the reader's first pass, the UTF-8 check of the
// whole payload (bench/cpp/utf8_check_bench.cpp). Neither copies the payload, as that check does
// not: their figures are the pass alone.

// simdjson's UTF-8 validation alone, simdjson::validate_utf8. Returns 0, or -1 when the bytes are
// not well-formed UTF-8.
VANTOR_BENCH_EXPORT long long vantor_bench_simdjson_validate_utf8(const char* data,
                                                                  std::size_t size);

// simdjson's stage 1 alone: the On-Demand parser's iterate, with nothing read after it. iterate
// indexes the whole payload before it returns, in one pass over 64-byte blocks that tells string
// contents from the rest (quotes and backslashes), classifies the bytes outside strings
// (structural characters, blanks, scalars), checks UTF-8 and the control bytes inside strings,
// and writes the position of every structural character and value start into the parser's
// index; what is read after iterate (stage 2) is left out. The figure also holds iterate's own
// checks (padding, byte order mark, the parser's capacity; the parser is kept per thread, so
// only a larger payload than before allocates). The caller pads: `data` must be readable up to
// `capacity` bytes, at least size + vantor_bench_simdjson_padding. Returns 0, or -1 when stage 1
// refuses the payload (bytes that are not UTF-8, a string left open, a control byte inside a
// string, no token at all, too little padding). The grammar is stage 2's: `[1,}` passes.
VANTOR_BENCH_EXPORT long long vantor_bench_simdjson_stage1(const char* data, std::size_t size,
                                                           std::size_t capacity);

// The name of the kernel of the two functions above ("fallback", "westmere", "haswell",
// "icelake", "arm64"...): unlike the walk's, it is chosen at run time, by the simdjson shared
// library for the machine it runs on (On-Demand's iterate takes its stage 1 from there too), so
// the flags of this library do not change it.
VANTOR_BENCH_EXPORT const char* vantor_bench_simdjson_active_kernel();
#endif
}
