#pragma once
// Why a payload is refused. The tape reader (tape/tape_reader.h) reads every payload and says only
// whether it accepts it; a refused payload is read again here, by the exact reader
// (json/exact_reader.h), which makes no values and stops at the first error, to name the error
// and where it is.
#include <string>
#include <string_view>

namespace vantor::json {

// The refusal's text, "<description> at line L column C", or empty when the payload is accepted.
std::string explain_refusal(std::string_view payload);

}  // namespace vantor::json
