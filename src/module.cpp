// The module's export: the static definition that the interpreter loads with multi-phase
// initialisation, and the execution step that publishes `columnarize`.
#include <Python.h>

#include "binding/barriers.h"
#include "binding/columnarize_entry.h"
#include "binding/errors.h"
#include "binding/messages.h"
#include "binding/process_objects.h"
#include "binding/py_ref.h"

namespace vantor::binding {
namespace {

// The first three lines give the interpreter the text signature "(payload, min_rows=20)". The
// text is fixed by the caller's contract and pinned by tests/python/test_module.py, names in it
// (`columnarize_json`) included: change it only with the contract.
constexpr char kColumnarizeDoc[] =
    "columnarize(payload, min_rows=20)\n"
    "--\n"
    "\n"
    "Columnarize a row-oriented JSON payload (bytes or str), GIL released\n"
    "for the duration of the transform.\n"
    "\n"
    "Args:\n"
    "    payload: UTF-8 JSON bytes/str encoding a `list[dict]` of rows.\n"
    "    min_rows: Accepted for parity with the Python codec's signature;\n"
    "        not re-checked here (the Python caller already applied the\n"
    "        guard before calling this function).\n"
    "\n"
    "Returns:\n"
    "    UTF-8 JSON bytes encoding `{\"columns\", \"rows\", \"constants\"}`.\n"
    "\n"
    "Panic safety: `columnarize_json` is run inside a fault barrier, so an\n"
    "unexpected panic (an unforeseen indexing fault, say) surfaces as an\n"
    "ordinary `RuntimeError` rather than as the binding layer's\n"
    "`PanicException`. `PanicException` derives from `BaseException`, not\n"
    "`Exception`, so it would silently bypass the `except Exception:` guard\n"
    "in `columnar.py` and break the contract\n"
    "\"a broken codec must never break a tool call\" (code-review fix).\n"
    "The barrier does NOT protect against a stack overflow, which aborts\n"
    "the process unconditionally and cannot be caught by any mechanism:\n"
    "a residual, documented limitation.";

// The method, slot and module definitions are process-wide. The interpreter only reads the first
// two; it writes the module definition once, in PyModuleDef_Init, under its import lock, which the
// free-threaded interpreter keeps as well. Nothing of ours writes any of them.
PyMethodDef columnarize_method = {
    "columnarize",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(columnarize_entry)),
    METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
    kColumnarizeDoc,
};

// The module's `__all__` list (a new reference), created empty when the module has none.
PyRef module_all_list(PyObject* module) {
    PyObject* all_name = all_dunder_name();
    if (all_name == nullptr) return PyRef();
    PyRef all(PyObject_GetAttr(module, all_name));
    if (all) {
        if (!PyType_HasFeature(Py_TYPE(all.get()), Py_TPFLAGS_LIST_SUBCLASS)) {
            PendingError(PyExc_TypeError, type_mismatch_message(all.get(), "list")).raise();
            return PyRef();
        }
        return all;
    }
    PyRef raised = take_raised_exception();
    if (!PyErr_GivenExceptionMatches(raised.get(), PyExc_AttributeError)) {
        PyErr_SetRaisedException(raised.release());
        return PyRef();
    }
    PyRef created(PyList_New(0));
    if (!created || PyObject_SetAttr(module, all_name, created.get()) < 0) return PyRef();
    return created;
}

int module_exec_work(PyObject* module) {
    if (!PyType_IsSubtype(Py_TYPE(module), &PyModule_Type)) {
        PendingError(PyExc_TypeError, type_mismatch_message(module, "module")).raise();
        return -1;
    }
    PyObject* name_name = name_dunder_name();
    if (name_name == nullptr) return -1;
    PyRef module_name(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    PyRef function(PyCMethod_New(&columnarize_method, module, module_name.get(), nullptr));
    module_name = PyRef();
    if (!function) return -1;
    PyRef function_name(PyObject_GetAttr(function.get(), name_name));
    if (!function_name) return -1;
    if (!PyType_HasFeature(Py_TYPE(function_name.get()), Py_TPFLAGS_UNICODE_SUBCLASS)) {
        PendingError(PyExc_TypeError, type_mismatch_message(function_name.get(), "str")).raise();
        return -1;
    }
    PyRef all = module_all_list(module);
    if (!all) return -1;
    // The name goes into `__all__` before the attribute exists; a failed append is a defect,
    // not an input error, so it is a fault.
    if (PyList_Append(all.get(), function_name.get()) < 0) {
        PyRef raised = take_raised_exception();
        throw BindingFault(
            messages::fill_message(messages::kAllAppendFailed, {render_exception(raised.get())}));
    }
    all = PyRef();
    if (PyObject_SetAttr(module, function_name.get(), function.get()) < 0) return -1;
    return 0;
}

int module_exec(PyObject* module) {
    return boundary_barrier<int>("module_exec", -1, [module] { return module_exec_work(module); });
}

// Py_MOD_GIL_NOT_USED: a free-threaded interpreter keeps running without its lock when it imports
// the module. The binding's process-wide objects are made once under a mutex of their own
// (process_objects.cpp), a call keeps its state on its own stack and heap, and the core's only
// state outside a call is per thread (hashing/keyed_hash.cpp).
PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "vantor_codec", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace vantor::binding

PyMODINIT_FUNC PyInit_vantor_codec() {
    return PyModuleDef_Init(&vantor::binding::module_definition);
}
