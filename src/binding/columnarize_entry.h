#pragma once
// The interpreter's entry into `columnarize(payload, min_rows=20)`, with the vector-call
// convention and keyword names (METH_FASTCALL | METH_KEYWORDS | METH_STATIC: `self` is null).
//
// A call binds and converts its arguments, copies the payload, runs the transform with the
// interpreter lock released, and turns the outcome into `bytes` or an exception; all of it inside
// the boundary barrier. Returns a new `bytes` object, or null with an exception set.
#include <Python.h>

namespace vantor::binding {

PyObject* columnarize_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames);

}  // namespace vantor::binding
