#pragma once
// Errors of the binding layer, in two kinds. A failure that the design expects (a bad argument, an
// unreadable payload) is a PendingError: its type and text are recorded, and the interpreter's
// string and exception objects are made only when it is raised. An internal fault is a C++
// exception that abandons the running work by unwinding, until a barrier (barriers.h) turns it
// into a Python exception. The binding's own texts are in messages.h; the transform's failure
// texts, which the binding raises unchanged, are in the core's catalogue (src/text/error_texts.h).
#include <Python.h>

#include <optional>
#include <source_location>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "binding/py_ref.h"

namespace vantor::binding {

class PendingError {
  public:
    // `type` is a process-lifetime exception type (a borrowed reference); `message` is UTF-8.
    PendingError(PyObject* type, std::string message) : type_(type), message_(std::move(message)) {}
    // For a message that exists only as an interpreter string (one that holds a keyword name
    // without a UTF-8 form): takes over `message`.
    PendingError(PyObject* type, PyRef message)
        : type_(type), message_object_(std::move(message)) {}

    // Makes the exception object (one argument, the message). Never null: when making it fails,
    // the exception of that failure (MemoryError, typically) is returned instead.
    PyRef make_exception() const;

    // Makes the exception object with the thread attached to the interpreter, for an error that
    // must exist as an object before the boundary raises it. Refused while the interpreter is
    // finalizing: that is an internal fault (a BindingFault is thrown).
    PyRef make_exception_attached() const;

    // Sets the error as the interpreter's current exception.
    void raise() const { PyErr_SetRaisedException(make_exception().release()); }

  private:
    PyObject* type_;
    std::string message_;
    PyRef message_object_;
};

// A fault raised by the binding layer itself; it remembers where it was raised for the report.
class BindingFault : public std::runtime_error {
  public:
    explicit BindingFault(const std::string& text,
                          std::source_location where = std::source_location::current())
        : std::runtime_error(text), where_(where) {}
    const std::source_location& where() const { return where_; }

  private:
    std::source_location where_;
};

// Takes the interpreter's current exception. An interpreter call that reported failure without
// setting one yields SystemError "attempted to fetch exception but none was set".
PyRef take_raised_exception();

// str(object) as UTF-8 text; nullopt, with the interpreter's error cleared, when `object` is null
// or str() fails or its text has no UTF-8 form (lone surrogates).
std::optional<std::string> utf8_text(PyObject* object);

// `pattern` (messages.h) with its one {} replaced by `value`'s UTF-8 text or by str(`value`), as
// an interpreter string made with the interpreter's string writer; null with the exception set
// when making it fails.
PyRef message_object(std::string_view pattern, const char* value);
PyRef message_object(std::string_view pattern, PyObject* value);

// The TypeError text for an object that is not an instance of `target_type`.
std::string type_mismatch_message(PyObject* object, const char* target_type);

// Adds the note "while processing '{parameter}'" to `exception` and raises it; always returns
// null for the caller to return. If the note cannot be added, the exception is raised without it.
PyObject* raise_with_parameter_note(PyRef exception, const char* parameter);

// "{type}: {value}" and the traceback of `exception`, for the text of a fault it causes.
std::string render_exception(PyObject* exception);

}  // namespace vantor::binding
