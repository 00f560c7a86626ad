#pragma once
// The interpreter's entry into `columnarize(payload, min_rows=20)`, with the vector-call
// convention and keyword names (METH_FASTCALL | METH_KEYWORDS | METH_STATIC: `self` is null).
#include <Python.h>

namespace vantor::binding {

PyObject* columnarize_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames);

}  // namespace vantor::binding
