#pragma once
// The transform barrier: `columnarize_json` runs inside it with the interpreter lock released, so
// an internal fault of the transform reaches the caller as an ordinary RuntimeError instead of
// crossing the boundary as `PanicException`.
#include <string>
#include <string_view>

#include "columnarize.h"

namespace vantor::binding {

struct TransformRun {
    enum class Kind { outcome, out_of_memory, fault };
    Kind kind = Kind::fault;
    TransformOutcome outcome{TransformOutcome::Kind::failure, {}};
    // For Kind::fault: what() of a standard exception, else "unknown panic in columnarize_json".
    std::string fault_text;
};

// Touches no interpreter object, so it may run without the interpreter lock.
TransformRun run_transform(std::string_view payload) noexcept;

}  // namespace vantor::binding
