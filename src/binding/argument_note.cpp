#include "binding/argument_note.h"

#include "binding/interned_names.h"

namespace vantor::binding {
namespace {

PyRef note_text(const char* parameter) {
    PyUnicodeWriter* writer = PyUnicodeWriter_Create(0);
    if (writer == nullptr) return PyRef();
    if (PyUnicodeWriter_WriteUTF8(writer, "while processing '", -1) < 0 ||
        PyUnicodeWriter_WriteUTF8(writer, parameter, -1) < 0 ||
        PyUnicodeWriter_WriteUTF8(writer, "'", 1) < 0) {
        PyUnicodeWriter_Discard(writer);
        return PyRef();
    }
    return PyRef(PyUnicodeWriter_Finish(writer));
}

bool add_note(PyObject* exception, const char* parameter) {
    PyObject* method = add_note_name();
    if (method == nullptr) return false;
    PyRef note = note_text(parameter);
    if (!note) return false;
    PyObject* call_args[] = {exception, note.get()};
    PyRef returned(PyObject_VectorcallMethod(method, call_args, 2, nullptr));
    return static_cast<bool>(returned);
}

}  // namespace

PyObject* raise_with_parameter_note(PyRef exception, const char* parameter) {
    // A failure to add the note must not replace the error the caller needs to see.
    if (!add_note(exception.get(), parameter)) PyErr_Clear();
    PyErr_SetRaisedException(exception.release());
    return nullptr;
}

}  // namespace vantor::binding
