#pragma once
// The attribute and method names the binding layer looks up, as interned strings made once per
// process. Each returns a borrowed reference, or null with an exception set.
#include <Python.h>

namespace vantor::binding {

PyObject* name_dunder_name();  // "__name__"
PyObject* all_dunder_name();   // "__all__"
PyObject* add_note_name();     // "add_note"

}  // namespace vantor::binding
