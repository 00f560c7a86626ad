// Fuzz target for the whole transform. Beyond "no crash, no sanitizer report", it checks the
// result's shape: the output reads back as a document whose rows each have one entry per column
// and whose row count equals the payload's, and a failure is one of the two failure messages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "memory/arena.h"
#include "oracle/value_reader.h"
#include "support/padded_copy.h"
#include "transform/columnarize.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view payload(reinterpret_cast<const char*>(data), size);
    vantor::transform::TransformOutcome outcome = vantor::test_support::columnarize_copy(payload);
    std::string_view text = outcome.text.view();
    if (outcome.kind == vantor::transform::TransformOutcome::Kind::failure) {
        check(starts_with(text, "invalid row-oriented JSON: ") ||
              starts_with(text, "expected a JSON object row, got: "));
        return 0;
    }

    // The payload read fine, so its row count is known; the result must agree with it.
    vantor::memory::Arena payload_arena;
    vantor::json::ReadResult rows = vantor::json::read_payload(payload, payload_arena);
    check(rows.ok());

    // The result is an object, so wrap it in an array to read it back with the payload reader.
    std::string wrapped;
    wrapped.reserve(text.size() + 2);
    wrapped.append(1, '[').append(text).append(1, ']');
    vantor::memory::Arena result_arena;
    vantor::json::ReadResult result = vantor::json::read_payload(wrapped, result_arena);
    if (!result.ok()) {
        // The result nests as deep as the payload and the wrapper adds a level, so a payload at
        // the nesting limit cannot be read back.
        check(starts_with(result.error, "recursion limit exceeded"));
        return 0;
    }
    check(result.rows.size() == 1 && result.rows[0].is_object());
    const auto& document = result.rows[0].as_object();
    check(document.size() == 3);
    const auto* columns = document.find("columns");
    const auto* matrix = document.find("rows");
    const auto* constants = document.find("constants");
    check(columns && matrix && constants);
    check(matrix->as_array().size() == rows.rows.size());
    for (const auto& row : matrix->as_array()) {
        check(row.as_array().size() == columns->as_array().size());
    }
    if (rows.rows.size() < 2) check(constants->as_object().size() == 0);
    for (const auto& column : columns->as_array()) {
        check(constants->as_object().find(column.as_string()) == nullptr);
    }
    return 0;
}
