// Fuzz target for the agreement of the transform's two paths: for every input, the fast path
// (with its fallback) and the exact path alone must give the same outcome, byte for byte, result
// or message. Besides the raw input it tries the input as a member value in two rows (equal
// values, which become a constant) and its two halves as the values of one column (the constant
// test's comparison of different texts).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "columnarize.h"

namespace {

void check_agreement(std::string_view payload) {
    vantor::TransformOutcome fast = vantor::columnarize_json(payload);
    vantor::TransformOutcome exact = vantor::columnarize_exact(payload);
    if (fast.kind != exact.kind || fast.text.view() != exact.text.view()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    check_agreement(input);

    std::string twice = "[{\"a\":";
    twice.append(input).append("},{\"a\":").append(input).append("}]");
    check_agreement(twice);

    std::string halves = "[{\"a\":";
    halves.append(input.substr(0, size / 2)).append("},{\"a\":").append(input.substr(size / 2));
    halves.append("}]");
    check_agreement(halves);
    return 0;
}
