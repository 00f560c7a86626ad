// A plain driver for the instruction counts of the reader's first pass beside simdjson's:
// `utf8_check_profile PASS SHAPE BYTES CALLS` builds one benchmark payload (SHAPE string or
// tool_call, the rows of bench/cpp/utf8_check_bench.cpp) and runs PASS on it CALLS times: vantor
// (the UTF-8 check with the kernel the reader chooses), simdjson_validate_utf8 or simdjson_stage1
// (the C peers' functions). Run it under callgrind with --toggle-collect=*profiled_call* and
// divide the instructions by CALLS * payload bytes, as bench/python/instructions.py --utf8-check
// does. It prints the payload's size and the kernel that ran.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "c_peers.h"
#include "payloads.h"
#include "text/utf8_check.h"

namespace {

enum class Pass { vantor, simdjson_validate_utf8, simdjson_stage1 };

const char* kernel_name(vantor::text::Utf8Kernel kernel) {
    switch (kernel) {
        case vantor::text::Utf8Kernel::portable:
            return "portable";
        case vantor::text::Utf8Kernel::avx2:
            return "avx2";
        case vantor::text::Utf8Kernel::avx512:
            return "avx512";
        case vantor::text::Utf8Kernel::neon:
            return "neon";
    }
    return "unknown";
}

// One call of the pass on the payload's first `size` bytes, padded for stage 1; false when the pass
// refuses the payload.
bool run_pass(Pass pass, const std::string& padded, std::size_t size) {
    switch (pass) {
        case Pass::vantor:
            return vantor::text::is_well_formed_utf8(std::string_view(padded.data(), size));
        case Pass::simdjson_validate_utf8:
            return vantor_bench_simdjson_validate_utf8(padded.data(), size) == 0;
        case Pass::simdjson_stage1:
            return vantor_bench_simdjson_stage1(padded.data(), size, padded.size()) == 0;
    }
    return false;
}

// The same out of line under a name of its own, so that callgrind counts inside it alone,
// simdjson's shared library included.
[[gnu::noinline]] bool profiled_call(Pass pass, const std::string& padded, std::size_t size) {
    return run_pass(pass, padded, size);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s PASS SHAPE BYTES CALLS\n", argv[0]);
        return 2;
    }
    const std::string name = argv[1];
    const std::string shape = argv[2];
    const auto bytes = static_cast<std::size_t>(std::strtoull(argv[3], nullptr, 10));
    const long calls = std::strtol(argv[4], nullptr, 10);
    Pass pass;
    const char* kernel;
    if (name == "vantor") {
        pass = Pass::vantor;
        kernel = kernel_name(vantor::text::best_utf8_kernel());
    } else if (name == "simdjson_validate_utf8" || name == "simdjson_stage1") {
        pass = name == "simdjson_stage1" ? Pass::simdjson_stage1 : Pass::simdjson_validate_utf8;
        kernel = vantor_bench_simdjson_active_kernel();
    } else {
        std::fprintf(stderr, "unknown pass %s\n", name.c_str());
        return 2;
    }
    std::string padded;
    if (shape == "string") {
        padded = vantor::bench::string_rows(bytes);
    } else if (shape == "tool_call") {
        padded = vantor::bench::tool_call_rows(bytes);
    } else {
        std::fprintf(stderr, "unknown shape %s\n", shape.c_str());
        return 2;
    }
    const std::size_t size = padded.size();
    padded.append(vantor_bench_simdjson_padding, '\0');
    // One call before the counted ones, not counted: simdjson chooses its kernel and sizes its
    // parser on the first, which a long-lived user's parser has long done.
    if (!run_pass(pass, padded, size)) return 1;
    for (long i = 0; i < calls; ++i) {
        if (!profiled_call(pass, padded, size)) return 1;
    }
    std::printf("payload %zu bytes, %ld calls, kernel %s\n", size, calls, kernel);
    return 0;
}
