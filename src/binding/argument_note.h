#pragma once
// Argument conversion errors keep the interpreter's own exception and gain the note
// "while processing '{parameter}'" in their __notes__.
#include <Python.h>

#include "binding/py_ref.h"

namespace vantor::binding {

// Adds the note to `exception` and raises it; always returns null for the caller to return.
// If the note cannot be added, the exception is raised without it.
PyObject* raise_with_parameter_note(PyRef exception, const char* parameter);

}  // namespace vantor::binding
