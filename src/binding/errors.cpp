#include "binding/errors.h"

#include <string_view>

#include "binding/messages.h"
#include "binding/process_objects.h"

namespace vantor::binding {
namespace {

// `pattern` as an interpreter string, its one {} written by `write_value(writer)`.
template <class WriteValue>
PyRef write_message(std::string_view pattern, WriteValue&& write_value) {
    std::size_t slot = pattern.find("{}");
    PyUnicodeWriter* writer = PyUnicodeWriter_Create(0);
    if (writer == nullptr) return PyRef();
    if (PyUnicodeWriter_WriteUTF8(writer, pattern.data(), static_cast<Py_ssize_t>(slot)) < 0 ||
        write_value(writer) < 0 ||
        PyUnicodeWriter_WriteUTF8(writer, pattern.data() + slot + 2,
                                  static_cast<Py_ssize_t>(pattern.size() - slot - 2)) < 0) {
        PyUnicodeWriter_Discard(writer);
        return PyRef();
    }
    return PyRef(PyUnicodeWriter_Finish(writer));
}

bool add_note(PyObject* exception, const char* parameter) {
    PyObject* method = add_note_name();
    if (method == nullptr) return false;
    PyRef note = message_object(messages::kParameterNote, parameter);
    if (!note) return false;
    PyObject* call_args[] = {exception, note.get()};
    PyRef returned(PyObject_VectorcallMethod(method, call_args, 2, nullptr));
    return static_cast<bool>(returned);
}

}  // namespace

PyRef message_object(std::string_view pattern, const char* value) {
    return write_message(pattern, [value](PyUnicodeWriter* writer) {
        return PyUnicodeWriter_WriteUTF8(writer, value, -1);
    });
}

PyRef message_object(std::string_view pattern, PyObject* value) {
    return write_message(pattern, [value](PyUnicodeWriter* writer) {
        return PyUnicodeWriter_WriteStr(writer, value);
    });
}

PyRef PendingError::make_exception() const {
    PyRef message;
    if (message_object_) {
        message = PyRef(Py_NewRef(message_object_.get()));
    } else {
        // Messages are UTF-8 by construction; "replace" makes sure a stray byte can never turn
        // the raising of one error into a second failure.
        message = PyRef(PyUnicode_DecodeUTF8(message_.data(),
                                             static_cast<Py_ssize_t>(message_.size()), "replace"));
    }
    if (!message) return take_raised_exception();
    PyRef exception(PyObject_CallOneArg(type_, message.get()));
    if (!exception) return take_raised_exception();
    return exception;
}

PyRef PendingError::make_exception_attached() const {
    // A finalizing interpreter already reports itself as not initialised, so the finalizing test
    // must come first or its own message would never be seen.
    if (Py_IsFinalizing()) throw BindingFault(messages::kAttachWhileFinalizing);
    if (!Py_IsInitialized()) throw BindingFault(messages::kAttachWhileNotInitialized);
    PyGILState_STATE attached = PyGILState_Ensure();
    PyErr_SetRaisedException(make_exception().release());
    PyRef exception = take_raised_exception();
    PyGILState_Release(attached);
    return exception;
}

PyRef take_raised_exception() {
    PyObject* raised = PyErr_GetRaisedException();
    if (raised != nullptr) return PyRef(raised);
    PyErr_SetString(PyExc_SystemError, messages::kNoExceptionSet);
    return PyRef(PyErr_GetRaisedException());
}

std::optional<std::string> utf8_text(PyObject* object) {
    PyRef text(object != nullptr ? PyObject_Str(object) : nullptr);
    Py_ssize_t size = 0;
    const char* utf8 = text ? PyUnicode_AsUTF8AndSize(text.get(), &size) : nullptr;
    if (utf8 == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string(utf8, static_cast<std::size_t>(size));
}

std::string type_mismatch_message(PyObject* object, const char* target_type) {
    if (object == Py_None)
        return messages::fill_message(messages::kNoneNotAnInstance, {target_type});
    PyRef type_name(PyType_GetQualName(Py_TYPE(object)));
    std::string name = utf8_text(type_name.get()).value_or(messages::kTypeNameUnavailable);
    return messages::fill_message(messages::kNotAnInstance, {name, target_type});
}

PyObject* raise_with_parameter_note(PyRef exception, const char* parameter) {
    // A failure to add the note must not replace the error the caller needs to see.
    if (!add_note(exception.get(), parameter)) PyErr_Clear();
    PyErr_SetRaisedException(exception.release());
    return nullptr;
}

std::string render_exception(PyObject* exception) {
    std::string text;
    PyRef type_name(PyType_GetQualName(Py_TYPE(exception)));
    if (type_name) {
        text = utf8_text(type_name.get()).value_or(messages::kUnprintable);
    } else {
        PyErr_Clear();
    }
    text += ": ";
    text += utf8_text(exception).value_or(messages::kUnprintable);
    PyRef traceback(PyException_GetTraceback(exception));
    if (traceback) {
        text +=
            messages::fill_message(messages::kRenderedTraceback,
                                   {utf8_text(traceback.get()).value_or(messages::kUnprintable)});
    }
    return text;
}

}  // namespace vantor::binding
