#pragma once
// Lazily built exceptions: an error is recorded as its type and message text, and the
// interpreter's string and exception objects are made only when it is raised.
#include <Python.h>

#include <string>
#include <utility>

#include "binding/py_ref.h"

namespace vantor::binding {

class PendingError {
  public:
    // `type` is a process-lifetime exception type (a borrowed reference); `message` is UTF-8.
    PendingError(PyObject* type, std::string message) : type_(type), message_(std::move(message)) {}
    // For a message that exists only as an interpreter string (a keyword name that has no UTF-8
    // form): takes over `message`.
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

    const std::string& message() const { return message_; }

  private:
    PyObject* type_;
    std::string message_;
    PyRef message_object_;
};

// Takes the interpreter's current exception. An interpreter call that reported failure without
// setting one yields SystemError "attempted to fetch exception but none was set".
PyRef take_raised_exception();

}  // namespace vantor::binding
