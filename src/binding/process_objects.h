#pragma once
// The interpreter objects that outlive a call: the interned names the binding layer looks up and
// the `PanicException` type. Each is made once per process, on first need, by a thread attached
// to the interpreter (holding its lock, where it has one), and then shared read-only by every
// thread; a mutex of its own, not the interpreter lock, keeps two threads from making it twice.
// Each returns a borrowed reference that lives for the rest of the process, or null with an
// exception set when making it failed (a later call tries again).
#include <Python.h>

namespace vantor::binding {

PyObject* name_dunder_name();  // "__name__"
PyObject* all_dunder_name();   // "__all__"
PyObject* add_note_name();     // "add_note"

// The type of the exception raised for an internal fault that reaches the boundary barrier. It
// derives directly from BaseException so that no ordinary `except Exception:` swallows what is a
// defect of this module.
PyObject* panic_exception_type();

}  // namespace vantor::binding
