#pragma once
// Binding and converting the arguments of `columnarize(payload, min_rows=20)`.
#include <Python.h>

#include <optional>
#include <string_view>

#include "binding/errors.h"

namespace vantor::binding {

// The argument slots; they borrow the caller's objects.
struct BoundArguments {
    PyObject* payload = nullptr;
    PyObject* min_rows = nullptr;
};

// Binds the vector-call arguments to the two parameters, or returns the binding error (these
// errors carry no note).
std::optional<PendingError> bind_arguments(PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames, BoundArguments& bound);

// The contents of a `bytes` payload (or of a subclass), read with the lock held; nullopt with
// the TypeError raised (noted) for anything else.
std::optional<std::string_view> convert_payload(PyObject* payload);

// Checks that `min_rows` (null: the default) converts to an unsigned 64-bit integer; false with
// the interpreter's own exception raised (noted) when it does not. The value itself is not used.
bool convert_min_rows(PyObject* min_rows);

}  // namespace vantor::binding
