#pragma once
// The limits that more than one part of the core depends on, each written once: the nesting the
// readers accept, which sizes every fixed stack of a walk over a read document, and the exponents
// between which the float text is positional, which the tape reader and the tape comparison rely
// on when they keep a float's payload text as its output.

namespace vantor::text {

// The deepest nesting a document may have, the top-level array being level 1. The exact reader
// refuses the next level (recursion_limit_exceeded); the tape reader leaves such a payload to the
// exact reader for its message.
inline constexpr int kMaxNestingDepth = 127;

// The exact reader's budget: the levels it may open, the refused one included.
inline constexpr int kNestingBudget = kMaxNestingDepth + 1;

// The float text is positional when the exponent of its first significant digit is from
// kPositionalExponentMin to kPositionalExponentMax (1e-5 <= |x| < 1e16: "0.00001", "1e+16"),
// scientific otherwise ("9.9e-6").
inline constexpr int kPositionalExponentMin = -5;
inline constexpr int kPositionalExponentMax = 15;

}  // namespace vantor::text
