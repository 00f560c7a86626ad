// A plain driver for instruction counts: `transform_profile SHAPE BYTES CALLS` builds one
// benchmark payload and runs the transform on it CALLS times. Run it under `valgrind
// --tool=callgrind` and divide the instructions by CALLS * payload bytes. For the hostile shapes
// BYTES is a count instead: wide_object and wide_row take the members of one object (inside a row,
// or the row itself), wide_objects the rows of 1,000-member objects and wide_object_rows the
// members of the objects in 1,000 rows.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "payloads.h"
#include "support/padded_copy.h"
#include "transform/columnarize.h"

namespace {

// One call of the transform, out of line under a name of its own, so that callgrind can count
// inside it alone (bench/python/instructions.py: --toggle-collect=profiled_call*). The payload
// comes padded, as the module's one copy of it is made.
[[gnu::noinline]] vantor::transform::TransformOutcome profiled_call(
    vantor::text::PaddedText payload) {
    return vantor::transform::columnarize(payload);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SHAPE BYTES CALLS\n", argv[0]);
        return 2;
    }
    const std::string shape = argv[1];
    const auto bytes = static_cast<std::size_t>(std::strtoull(argv[2], nullptr, 10));
    const long calls = std::strtol(argv[3], nullptr, 10);
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
    } else if (shape == "nested") {
        payload = vantor::bench::nested_rows(bytes);
    } else if (shape == "nested_repeated") {
        payload = vantor::bench::nested_repeated_rows(bytes);
    } else if (shape == "nested_pretty") {
        payload = vantor::bench::nested_pretty_rows(bytes);
    } else if (shape == "nested_repeated_pretty") {
        payload = vantor::bench::nested_repeated_pretty_rows(bytes);
    } else if (shape == "airports") {
        payload = vantor::bench::airport_rows(bytes);
    } else if (shape == "wide_object") {
        payload = vantor::bench::one_wide_object(bytes, true);
    } else if (shape == "wide_row") {
        payload = vantor::bench::one_wide_object(bytes, false);
    } else if (shape == "wide_objects") {
        payload = vantor::bench::rows_of_wide_objects(bytes, 1000);
    } else if (shape == "wide_object_rows") {
        payload = vantor::bench::rows_of_wide_objects(1000, bytes);
    } else if (shape == "empty") {
        payload = "[]";
    } else {
        std::fprintf(stderr, "unknown shape %s\n", shape.c_str());
        return 2;
    }
    std::size_t output = 0;
    const vantor::test_support::PaddedCopy padded(payload);
    for (long i = 0; i < calls; ++i) {
        vantor::transform::TransformOutcome outcome = profiled_call(padded.text());
        if (outcome.kind != vantor::transform::TransformOutcome::Kind::result) return 1;
        output = outcome.text.size();
    }
    std::printf("payload %zu bytes, output %zu bytes, %ld calls, %s\n", payload.size(), output,
                calls, "transform");
    return 0;
}
