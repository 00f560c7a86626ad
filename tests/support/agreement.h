#pragma once
// The transform held to the reference transform (tests/oracle): the same outcome, result or
// message, byte for byte, and a text that is well-formed UTF-8. The one comparison that the C++
// tests and the agreement fuzz target all make.
#include <string>
#include <string_view>

#include "oracle/exact_transform.h"
#include "transform/columnarize.h"

namespace vantor::test_support {

// What is wrong with the transform's outcome on `payload` against the reference's: empty when
// they agree and the text is well-formed UTF-8, otherwise a description for a test's failure
// message (where the texts first differ, with some bytes of each around that place).
std::string disagreement(std::string_view payload);

// The same, for an outcome the caller made (under other limits, from a padded copy) against the
// reference's outcome on the same payload.
std::string disagreement(const transform::TransformOutcome& product,
                         const oracle::ExactOutcome& reference);

// Whether `text` is well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing past U+10FFFF, no sequence cut short. Written byte by byte here, apart from
// the product's vector check.
bool is_well_formed_utf8(std::string_view text);

}  // namespace vantor::test_support
