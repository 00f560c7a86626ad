#pragma once
// The reference transform: the payload read into the value model (oracle/value_reader.h), its
// columns found and written with the value model's writer. Plain where the pipeline is fast; the
// tests and the agreement fuzz target hold the pipeline (transform/columnarize.h) to it, byte for
// byte, result or message.
#include <string>
#include <string_view>

namespace vantor::oracle {

// The reference's outcome: the result document, or the failure's message.
struct ExactOutcome {
    bool failed = false;
    std::string text;
};

ExactOutcome columnarize_exact(std::string_view payload);

}  // namespace vantor::oracle
