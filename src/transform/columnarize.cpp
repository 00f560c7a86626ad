// The dispatcher between the two paths: the fast transform (fast_transform.cpp) takes what it
// can, and the exact transform (exact_transform.cpp) everything it leaves, refused payloads
// included, so that every failure message comes from one place.
#include "transform/columnarize.h"

#include <optional>
#include <utility>

namespace vantor::transform {

TransformOutcome columnarize(std::string_view payload) {
    if (std::optional<TransformOutcome> outcome = columnarize_fast(payload)) {
        return std::move(*outcome);
    }
    return columnarize_exact(payload);
}

}  // namespace vantor::transform
