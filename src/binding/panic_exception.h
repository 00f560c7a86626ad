#pragma once
// `PanicException`: the type of the exception raised for an internal fault that reaches the
// boundary barrier. It derives directly from BaseException so that no ordinary `except
// Exception:` swallows what is a defect of this module.
#include <Python.h>

namespace vantor::binding {

// The type, created once per process on first need (a borrowed reference). If it cannot be
// created the process ends: this is only asked for while a fault is being handled.
PyObject* panic_exception_type() noexcept;

}  // namespace vantor::binding
