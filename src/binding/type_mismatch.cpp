#include "binding/type_mismatch.h"

#include "binding/py_ref.h"

namespace vantor::binding {
namespace {

std::string qualified_type_name(PyObject* object) {
    PyRef name(PyType_GetQualName(Py_TYPE(object)));
    Py_ssize_t size = 0;
    const char* text = name ? PyUnicode_AsUTF8AndSize(name.get(), &size) : nullptr;
    if (text == nullptr) {
        PyErr_Clear();
        return "<failed to extract type name>";
    }
    return std::string(text, static_cast<std::size_t>(size));
}

}  // namespace

std::string type_mismatch_message(PyObject* object, const char* target_type) {
    if (object == Py_None) return std::string("'None' is not an instance of '") + target_type + "'";
    return "'" + qualified_type_name(object) + "' object is not an instance of '" + target_type +
           "'";
}

}  // namespace vantor::binding
