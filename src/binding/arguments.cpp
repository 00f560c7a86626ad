#include "binding/arguments.h"

#include <string>

#include "binding/messages.h"

namespace vantor::binding {
namespace {

constexpr Py_ssize_t kMaxPositional = 2;

// The "unexpected keyword" error names str() of the keyword. A name without a UTF-8 form (lone
// surrogates) goes into the message as the interpreter string itself.
PendingError unexpected_keyword(PyObject* name) {
    if (std::optional<std::string> text = utf8_text(name)) {
        return PendingError(PyExc_TypeError,
                            messages::fill_message(messages::kUnexpectedKeyword, {*text}));
    }
    if (PyRef message = message_object(messages::kUnexpectedKeyword, name)) {
        return PendingError(PyExc_TypeError, std::move(message));
    }
    PyErr_Clear();
    return PendingError(PyExc_TypeError, messages::fill_message(messages::kUnexpectedKeyword,
                                                                {messages::kUnprintableKeyword}));
}

// The slot a keyword name selects: compared byte for byte, so case and look-alikes do not match.
PyObject** keyword_slot(PyObject* name, BoundArguments& bound, const char*& parameter) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(name, &size);
    if (text == nullptr) {
        PyErr_Clear();
        return nullptr;
    }
    std::string_view keyword(text, static_cast<std::size_t>(size));
    if (keyword == "payload") {
        parameter = "payload";
        return &bound.payload;
    }
    if (keyword == "min_rows") {
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
    if (nargs > kMaxPositional) {
        return PendingError(PyExc_TypeError, messages::fill_message(messages::kTooManyPositional,
                                                                    {std::to_string(nargs)}));
    }
    Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < keywords; ++i) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, i);
        const char* parameter = nullptr;
        PyObject** slot = keyword_slot(name, bound, parameter);
        if (slot == nullptr) return unexpected_keyword(name);
        if (*slot != nullptr) {
            return PendingError(PyExc_TypeError,
                                messages::fill_message(messages::kMultipleValues, {parameter}));
        }
        *slot = args[nargs + i];
    }
    if (nargs == 0 && bound.payload == nullptr) {
        return PendingError(PyExc_TypeError, messages::kMissingPayload);
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
