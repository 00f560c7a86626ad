#pragma once
// The reference transform: the payload read into the value model (oracle/value_reader.h), its
// columns found and written with the value model's writer. Plain where the pipeline is fast; the
// tests and the agreement fuzz target hold the pipeline (transform/columnarize.h) to it, byte for
// byte, result or message.
#include <string_view>

#include "transform/columnarize.h"

namespace vantor::oracle {

transform::TransformOutcome columnarize_exact(std::string_view payload);

}  // namespace vantor::oracle
