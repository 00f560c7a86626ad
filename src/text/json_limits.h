#pragma once
// The limits that more than one part of the core depends on, each written once: the nesting the
// readers accept, which sizes every fixed stack of a walk over a read document. The float
// layout's limits (the exponents between which the float text is positional) live beside the
// float text, in text/float_layout.h.

namespace vantor::text {

// The deepest nesting a document may have, the top-level array being level 1. The exact reader
// refuses the next level (recursion_limit_exceeded); the tape reader leaves such a payload to the
// exact reader for its message.
inline constexpr int kMaxNestingDepth = 127;

// The exact reader's budget: the levels it may open, the refused one included.
inline constexpr int kNestingBudget = kMaxNestingDepth + 1;

}  // namespace vantor::text
