#pragma once
// The body of a `columnarize` call, after its arguments are converted: the payload is copied,
// the transform runs with the interpreter lock released, and the outcome becomes `bytes` or an
// exception.
#include <Python.h>

#include <string_view>

namespace vantor::binding {

// `payload` is the contents of a `bytes` object the caller keeps alive. Called and returns with
// the interpreter lock held. Returns a new `bytes` object, or null with an exception set.
PyObject* run_call_body(std::string_view payload);

}  // namespace vantor::binding
