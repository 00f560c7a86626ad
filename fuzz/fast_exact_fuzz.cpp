// Fuzz target for the agreement of the transform's two paths: for every input, the fast path
// (with its fallback) and the exact path alone must give the same outcome, byte for byte, result
// or message. Besides the raw input it tries the input as a member value in two rows (equal
// values, which become a constant), its two halves as the values of one column (the constant
// test's comparison of different texts), and as a member of an object of 20 members that the
// second row lists in reverse order (the keyed name index of the repeated-key check and of the
// constant test). The tape reader's two ways of finding tokens, byte by byte and through the
// structural index, must read each of these payloads onto the same tape or both give up; and the
// input after four kilobytes of spaces (and before more, up to eight kilobytes in all), which the
// transform reads through the index, must agree too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tape/tape.h"
#include "tape/tape_dump.h"
#include "tape/tape_reader.h"
#include "transform/columnarize.h"

namespace {

void check_agreement(std::string_view payload) {
    vantor::TransformOutcome fast = vantor::columnarize_json(payload);
    vantor::TransformOutcome exact = vantor::columnarize_exact(payload);
    if (fast.kind != exact.kind || fast.text.view() != exact.text.view()) std::abort();
    vantor::json::Tape by_bytes;
    vantor::json::Tape by_index;
    const bool read_by_bytes =
        vantor::json::read_tape(payload, by_bytes, vantor::json::TokenSource::bytes);
    const bool read_by_index =
        vantor::json::read_tape(payload, by_index, vantor::json::TokenSource::index);
    if (read_by_bytes != read_by_index) std::abort();
    if (read_by_bytes &&
        vantor::json::describe_tape(by_bytes) != vantor::json::describe_tape(by_index)) {
        std::abort();
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

    std::string spaced(vantor::json::kIndexSampleBytes, ' ');
    spaced.append(input);
    if (spaced.size() < vantor::json::kMinIndexedBytes) {
        spaced.append(vantor::json::kMinIndexedBytes - spaced.size(), ' ');
    }
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
