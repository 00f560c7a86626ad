#pragma once
// The binding's own texts, with the exception type that carries each. {} marks an inserted value,
// filled in order by `fill_message`.
// Each text is fixed by the caller's contract, word for word, and pinned by tests/python
// (test_arguments.py, test_faults.py): change one only with the contract, never to tidy it.
//
// The transform's failures are made by the core, which knows nothing of Python, and reach the
// caller unchanged as RuntimeError. Their texts live in the core's catalogue,
// src/text/error_texts.h, and are named at the end of this file rather than written again:
//   kInvalidPayloadPrefix + {}   the payload is not a readable JSON array; {} is the reader's
//                                error text (a description from the catalogue, then
//                                " at line L column C")
//   kNonObjectRowPrefix + {}     an element of the array is not an object; {} is that element's
//                                compact JSON text
// An internal fault's own explanation, the {} of kTransformFault, is written where it is thrown.
// Besides these, a min_rows that does not convert raises the interpreter's own exception and text.
#include <initializer_list>
#include <string>
#include <string_view>

#include "text/error_texts.h"

namespace vantor::binding::messages {

// TypeError: binding the arguments of columnarize (no note).
inline constexpr char kTooManyPositional[] =
    "columnarize() takes from 1 to 2 positional arguments but {} were given";
inline constexpr char kUnexpectedKeyword[] =
    "columnarize() got an unexpected keyword argument '{}'";
// Stands for a keyword name that cannot be made into text at all.
inline constexpr char kUnprintableKeyword[] = "?";
inline constexpr char kMultipleValues[] = "columnarize() got multiple values for argument '{}'";
inline constexpr char kMissingPayload[] =
    "columnarize() missing 1 required positional argument: 'payload'";

// TypeError: an object of the wrong type. The payload ("bytes"); at import, the module
// ("module"), the function's __name__ ("str") and the module's __all__ ("list").
inline constexpr char kNotAnInstance[] = "'{}' object is not an instance of '{}'";
inline constexpr char kNoneNotAnInstance[] = "'None' is not an instance of '{}'";
// Stands for a type whose qualified name cannot be had as UTF-8 text.
inline constexpr char kTypeNameUnavailable[] = "<failed to extract type name>";

// The note that an argument's conversion error gains ("payload" or "min_rows").
inline constexpr char kParameterNote[] = "while processing '{}'";

// RuntimeError: an internal fault inside the transform (the transform barrier).
inline constexpr char kTransformFault[] = "internal panic during columnarization: {}";
inline constexpr char kTransformFaultWithoutText[] = "unknown panic in columnarize_json";

// PanicException: an internal fault that reaches the boundary barrier. A fault that carries a
// text raises that text; these are the binding layer's own.
inline constexpr char kResultNotMade[] = "PyObject pointer is null";
inline constexpr char kAllAppendFailed[] = "could not append __name__ to __all__: {}";
// How the exception behind kAllAppendFailed is rendered: "{type}: {value}", then the traceback.
inline constexpr char kRenderedTraceback[] = " (traceback: {})";
inline constexpr char kUnprintable[] = "<unprintable>";
inline constexpr char kAttachWhileFinalizing[] =
    "Cannot attach to the Python interpreter while it is finalizing.";
inline constexpr char kAttachWhileNotInitialized[] =
    "Cannot attach to the Python interpreter while it is not initialized.";
inline constexpr char kUnknownTransformOutcome[] = "unknown transform outcome";
inline constexpr char kFaultWithoutText[] = "internal fault without a message";

// SystemError: an interpreter call reported failure without setting an exception.
inline constexpr char kNoExceptionSet[] = "attempted to fetch exception but none was set";

// Not raised: the process ends with these (Py_FatalError) after a report on standard error.
inline constexpr char kUncaughtPanic[] = "uncaught panic at ffi boundary";
inline constexpr char kPanicTypeNotMade[] = "Failed to initialize new exception type.";

// RuntimeError: the transform's failures, whose texts the core makes (see the top of this file).
using text::error_texts::kInvalidPayloadPrefix;
using text::error_texts::kNonObjectRowPrefix;

// `pattern` with each {} replaced by the next of `values`.
inline std::string fill_message(std::string_view pattern,
                                std::initializer_list<std::string_view> values) {
    std::string text;
    auto value = values.begin();
    for (std::size_t at = 0;;) {
        std::size_t slot = pattern.find("{}", at);
        if (slot == std::string_view::npos || value == values.end()) {
            text.append(pattern.substr(at));
            return text;
        }
        text.append(pattern.substr(at, slot - at));
        text.append(*value++);
        at = slot + 2;
    }
}

}  // namespace vantor::binding::messages
