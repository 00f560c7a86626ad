#include "binding/pending_error.h"

#include "binding/fault.h"

namespace vantor::binding {

PyRef take_raised_exception() {
    PyObject* raised = PyErr_GetRaisedException();
    if (raised != nullptr) return PyRef(raised);
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    return PyRef(PyErr_GetRaisedException());
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
    if (Py_IsFinalizing()) {
        throw BindingFault("Cannot attach to the Python interpreter while it is finalizing.");
    }
    if (!Py_IsInitialized()) {
        throw BindingFault("Cannot attach to the Python interpreter while it is not initialized.");
    }
    PyGILState_STATE attached = PyGILState_Ensure();
    PyErr_SetRaisedException(make_exception().release());
    PyRef exception = take_raised_exception();
    PyGILState_Release(attached);
    return exception;
}

}  // namespace vantor::binding
