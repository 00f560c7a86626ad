// Fuzz target for the agreement of the transform with the reference transform over the value
// model (tests/oracle): for every input both must give the same outcome, byte for byte, result or
// message, in well-formed UTF-8 (tests/support/agreement.h), and so must the transform with its
// tape's limits set low (tape/tape_limits.h), which
// puts texts and containers in the other forms that only huge payloads need. Besides the raw input
// it tries the input as a member value in two rows (equal values, which become a constant), its two
// halves as the values of one column (the constant test's comparison of different texts), and as a
// member of an object of 20 members that the second row lists in reverse order (the keyed name
// index of the repeated-key check and of the constant test); and the input after runs of whitespace
// that the reader skips sixteen bytes at a time. Every UTF-8 kernel the machine runs must judge
// each of these payloads as the portable one does, and the portable one as the tests' own
// byte-by-byte check, and every long-string kernel must find the same
// first string stop from each of its first bytes, so the transform's outcome is the same whichever
// kernels it is given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "oracle/exact_transform.h"
#include "support/agreement.h"
#include "support/padded_copy.h"
#include "tape/tape_limits.h"
#include "text/long_string_scan.h"
#include "text/string_scan.h"
#include "text/utf8_check.h"
#include "transform/columnarize.h"

namespace {

void check_agreement(std::string_view payload) {
    using vantor::test_support::disagreement;
    const vantor::oracle::ExactOutcome reference = vantor::oracle::columnarize_exact(payload);
    if (!disagreement(vantor::test_support::columnarize_copy(payload), reference).empty())
        std::abort();
    vantor::tape::TapeLimits low;
    low.offsets = payload.size() / 2;
    low.text_size = 3;
    low.extents = 4;
    const vantor::test_support::PaddedCopy padded(payload);
    if (!disagreement(vantor::transform::columnarize(padded.text(), low), reference).empty()) {
        std::abort();
    }
    const bool well_formed =
        vantor::text::is_well_formed_utf8(payload, vantor::text::Utf8Kernel::portable);
    if (vantor::test_support::is_well_formed_utf8(payload) != well_formed) std::abort();
    for (auto kernel : {vantor::text::Utf8Kernel::avx2, vantor::text::Utf8Kernel::avx512,
                        vantor::text::Utf8Kernel::neon}) {
        if (vantor::text::utf8_kernel_available(kernel) &&
            vantor::text::is_well_formed_utf8(payload, kernel) != well_formed) {
            std::abort();
        }
    }
    const auto* begin = reinterpret_cast<const unsigned char*>(payload.data());
    const unsigned char* end = begin + payload.size();
    for (const unsigned char* from = begin; from < end && from < begin + 80; ++from) {
        const unsigned char* expected = vantor::text::find_string_stop_portable(from, end);
        for (auto kernel :
             {vantor::text::StringStopKernel::baseline, vantor::text::StringStopKernel::avx2,
              vantor::text::StringStopKernel::avx512}) {
            if (vantor::text::string_stop_kernel_available(kernel) &&
                vantor::text::find_string_stop(from, end, kernel) != expected) {
                std::abort();
            }
        }
    }
}

// The members "k0":0 to "k19":19, comma-separated, in order or reversed.
std::string twenty_members(bool reversed) {
    std::string out;
    for (int i = 0; i < 20; ++i) {
        int k = reversed ? 19 - i : i;
        if (i) out += ',';
        out += "\"k" + std::to_string(k) + "\":" + std::to_string(k);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    check_agreement(input);

    std::string spaced = "\n                                  \t\r\n  ";
    spaced.append(input).append(100, ' ');
    check_agreement(spaced);

    std::string twice = "[{\"a\":";
    twice.append(input).append("},{\"a\":").append(input).append("}]");
    check_agreement(twice);

    std::string halves = "[{\"a\":";
    halves.append(input.substr(0, size / 2)).append("},{\"a\":").append(input.substr(size / 2));
    halves.append("}]");
    check_agreement(halves);

    static const std::string in_order = twenty_members(false);
    static const std::string reversed = twenty_members(true);
    std::string reordered = "[{\"a\":{\"x\":";
    reordered.append(input).append(",").append(in_order).append("}},{\"a\":{").append(reversed);
    reordered.append(",\"x\":").append(input).append("}}]");
    check_agreement(reordered);
    return 0;
}
