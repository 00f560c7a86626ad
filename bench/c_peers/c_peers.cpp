// The reference points behind the "yyjson read+write" and "simdjson parse" columns of
// bench/python/bench.py. Each call does what a Python caller handing over a bytes object would
// need done, no more and no less, so that the figures set beside columnarize's stay fair.
#include "c_peers.h"

#include <cstdlib>
#include <cstring>

#if defined(VANTOR_HAVE_YYJSON)
#include <yyjson.h>
#endif
#if defined(VANTOR_HAVE_SIMDJSON)
#include <simdjson.h>
#include <memory>
#endif

extern "C" {

long long vantor_bench_nothing(const char* data, std::size_t size) {
    // Read the arguments so that the call cannot be anything but a call.
    return (data == nullptr && size != 0) ? -1 : 0;
}

#if defined(VANTOR_HAVE_YYJSON)
long long vantor_bench_yyjson_round_trip(const char* data, std::size_t size) {
    // Without YYJSON_READ_INSITU yyjson leaves the caller's bytes alone (a Python bytes object
    // must not change) and copies what it needs into its own document.
    yyjson_doc* document = yyjson_read(data, size, 0);
    if (document == nullptr) return -1;
    std::size_t length = 0;
    char* text = yyjson_write(document, 0, &length);
    yyjson_doc_free(document);
    if (text == nullptr) return -1;
    std::free(text);
    return static_cast<long long>(length);
}
#endif

#if defined(VANTOR_HAVE_SIMDJSON)
namespace {

// One parser per thread, kept from call to call: simdjson is meant to be used that way (its
// parser keeps the buffers sized for the largest document it has seen), so a fresh parser per
// call would charge it for allocations its users do not pay. One per thread because a parser
// serves one document at a time, and ctypes lets go of the interpreter lock during the call.
struct ThreadParser {
    simdjson::dom::parser parser;
    // simdjson reads up to SIMDJSON_PADDING bytes past the end of its input, which a Python
    // bytes object does not promise to have. Every call copies the payload into this padded
    // buffer, and that copy is counted in simdjson's time: the module copies its payload too.
    // The buffer itself is kept, like the parser, so only the first call at a size allocates.
    std::unique_ptr<char[]> padded;
    std::size_t capacity = 0;
};

thread_local ThreadParser thread_parser;

}  // namespace

long long vantor_bench_simdjson_parse(const char* data, std::size_t size) {
    ThreadParser& state = thread_parser;
    if (state.capacity < size + simdjson::SIMDJSON_PADDING) {
        state.capacity = size + simdjson::SIMDJSON_PADDING;
        state.padded = std::make_unique<char[]>(state.capacity);
    }
    std::memcpy(state.padded.get(), data, size);
    std::memset(state.padded.get() + size, 0, simdjson::SIMDJSON_PADDING);
    simdjson::dom::element document;
    bool refused =
        state.parser.parse(state.padded.get(), size, false).get(document) != simdjson::SUCCESS;
    return refused ? -1 : 0;
}
#endif
}
