#include "binding/arguments.h"

#include <cstring>
#include <string>

#include "binding/argument_note.h"
#include "binding/type_mismatch.h"

namespace vantor::binding {
namespace {

constexpr Py_ssize_t max_positional = 2;

// The text of a keyword name for the "unexpected keyword" message: str() of the name, as UTF-8,
// or the interpreter string itself when it has no UTF-8 form (lone surrogates).
PendingError unexpected_keyword(PyObject* name) {
    static const std::string prefix = "columnarize() got an unexpected keyword argument '";
    PyRef text(PyObject_Str(name));
    Py_ssize_t size = 0;
    const char* utf8 = text ? PyUnicode_AsUTF8AndSize(text.get(), &size) : nullptr;
    if (utf8 != nullptr) {
        return PendingError(PyExc_TypeError,
                            prefix + std::string(utf8, static_cast<std::size_t>(size)) + "'");
    }
    PyErr_Clear();
    PyRef message(PyUnicode_FromFormat("%s%S'", prefix.c_str(), name));
    if (!message) PyErr_Clear();
    return message ? PendingError(PyExc_TypeError, std::move(message))
                   : PendingError(PyExc_TypeError, prefix + "?'");
}

// The slot a keyword name selects: compared byte for byte, so case and look-alikes do not match.
PyObject** keyword_slot(PyObject* name, BoundArguments& bound, const char*& parameter) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(name, &size);
    if (text == nullptr) {
        PyErr_Clear();
        return nullptr;
    }
    if (size == 7 && std::memcmp(text, "payload", 7) == 0) {
        parameter = "payload";
        return &bound.payload;
    }
    if (size == 8 && std::memcmp(text, "min_rows", 8) == 0) {
        parameter = "min_rows";
        return &bound.min_rows;
    }
    return nullptr;
}

}  // namespace

std::optional<PendingError> bind_arguments(PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames, BoundArguments& bound) {
    if (nargs > 0) bound.payload = args[0];
    if (nargs > 1) bound.min_rows = args[1];
    if (nargs > max_positional) {
        return PendingError(PyExc_TypeError,
                            "columnarize() takes from 1 to 2 positional arguments but " +
                                std::to_string(nargs) + " were given");
    }
    Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < keywords; ++i) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, i);
        const char* parameter = nullptr;
        PyObject** slot = keyword_slot(name, bound, parameter);
        if (slot == nullptr) return unexpected_keyword(name);
        if (*slot != nullptr) {
            return PendingError(
                PyExc_TypeError,
                std::string("columnarize() got multiple values for argument '") + parameter + "'");
        }
        *slot = args[nargs + i];
    }
    if (nargs == 0 && bound.payload == nullptr) {
        return PendingError(PyExc_TypeError,
                            "columnarize() missing 1 required positional argument: 'payload'");
    }
    return std::nullopt;
}

std::optional<std::string_view> convert_payload(PyObject* payload) {
    if (PyType_HasFeature(Py_TYPE(payload), Py_TPFLAGS_BYTES_SUBCLASS)) {
        const char* data = PyBytes_AsString(payload);
        return std::string_view(data, static_cast<std::size_t>(PyBytes_Size(payload)));
    }
    PendingError error(PyExc_TypeError, type_mismatch_message(payload, "bytes"));
    raise_with_parameter_note(error.make_exception_attached(), "payload");
    return std::nullopt;
}

bool convert_min_rows(PyObject* min_rows) {
    if (min_rows == nullptr) return true;  // the default, 20
    unsigned long long value;
    if (PyType_HasFeature(Py_TYPE(min_rows), Py_TPFLAGS_LONG_SUBCLASS)) {
        value = PyLong_AsUnsignedLongLong(min_rows);
    } else {
        PyRef index(PyNumber_Index(min_rows));
        value =
            index ? PyLong_AsUnsignedLongLong(index.get()) : static_cast<unsigned long long>(-1);
    }
    // All ones is also the valid value 2**64 - 1; only a pending exception makes it a failure.
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        raise_with_parameter_note(take_raised_exception(), "min_rows");
        return false;
    }
    return true;
}

}  // namespace vantor::binding
