#pragma once
// The two fault barriers. An internal fault (errors.h) never crosses either of them.
//
// The boundary barrier: every entry that the interpreter calls runs its work inside it, so that
// no C++ exception ever unwinds into the interpreter. Running out of memory becomes MemoryError;
// any other fault becomes `PanicException` with the fault's text.
//
// The transform barrier: `transform::columnarize` runs inside it with the interpreter lock
// released, so that an internal fault of the transform reaches the caller as an ordinary
// RuntimeError instead of crossing the boundary as `PanicException`.
//
// Each caught fault is reported on standard error (thread, where it was raised or caught, text).
// A fault while a fault is being handled cannot be contained: the process ends.
#include <Python.h>

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "binding/messages.h"
#include "text/padded_text.h"
#include "transform/columnarize.h"

namespace vantor::binding {

// Raises `PanicException` for a caught fault of the entry named `entry`. A fault while doing so
// ends the process.
void raise_panic(const char* entry, const std::exception_ptr& fault) noexcept;

// Runs `work`, which returns the entry's result or `failure` with a Python exception set, and
// returns its result; a fault that escapes `work` yields `failure` with the exception set.
template <class Result, class Work>
Result boundary_barrier(const char* entry, Result failure, Work&& work) noexcept {
    try {
        Result result = work();
        if (result == failure && !PyErr_Occurred()) {
            PyErr_SetString(PyExc_SystemError, messages::kNoExceptionSet);
        }
        return result;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        raise_panic(entry, std::current_exception());
    }
    return failure;
}

struct TransformRun {
    enum class Kind { outcome, out_of_memory, fault };
    Kind kind = Kind::fault;
    transform::TransformOutcome outcome{transform::TransformOutcome::Kind::failure, {}};
    // For Kind::fault: what() of a standard exception, else "unknown panic in columnarize_json".
    std::string fault_text;
};

// Runs `transform::columnarize` on `payload` with the call's block inside the transform barrier.
// Touches no interpreter object, so it may run without the interpreter lock. The outcome may
// live in the block.
TransformRun run_transform(text::PaddedText payload, memory::ScratchArea& call_block) noexcept;

}  // namespace vantor::binding
