// A plain driver for instruction counts: `transform_profile SHAPE BYTES CALLS [exact]` builds one
// benchmark payload and runs the transform on it CALLS times (the exact path alone with "exact").
// Run it under `valgrind --tool=callgrind` and divide the instructions by CALLS * payload bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "columnarize.h"
#include "payloads.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SHAPE BYTES CALLS [exact]\n", argv[0]);
        return 2;
    }
    const std::string shape = argv[1];
    const auto bytes = static_cast<std::size_t>(std::strtoull(argv[2], nullptr, 10));
    const long calls = std::strtol(argv[3], nullptr, 10);
    const bool exact = argc > 4 && std::strcmp(argv[4], "exact") == 0;
    std::string payload;
    if (shape == "tool_call") {
        payload = vantor::bench::tool_call_rows(bytes);
    } else if (shape == "number") {
        payload = vantor::bench::number_rows(bytes);
    } else if (shape == "string") {
        payload = vantor::bench::string_rows(bytes);
    } else if (shape == "sparse") {
        payload = vantor::bench::sparse_rows(bytes);
    } else if (shape == "wide") {
        payload = vantor::bench::wide_rows(bytes);
    } else if (shape == "empty") {
        payload = "[]";
    } else {
        std::fprintf(stderr, "unknown shape %s\n", shape.c_str());
        return 2;
    }
    std::size_t output = 0;
    for (long i = 0; i < calls; ++i) {
        vantor::TransformOutcome outcome =
            exact ? vantor::columnarize_exact(payload) : vantor::columnarize_json(payload);
        if (outcome.kind != vantor::TransformOutcome::Kind::result) return 1;
        output = outcome.text.size();
    }
    std::printf("payload %zu bytes, output %zu bytes, %ld calls\n", payload.size(), output, calls);
    return 0;
}
