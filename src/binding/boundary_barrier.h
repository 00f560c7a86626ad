#pragma once
// The boundary barrier: every entry that the interpreter calls runs its work inside it, so that
// no C++ exception ever unwinds into the interpreter. Running out of memory becomes MemoryError;
// any other fault becomes `PanicException` with the fault's text.
#include <Python.h>

#include <exception>
#include <new>

namespace vantor::binding {

// Raises `PanicException` for a caught fault of the entry named `entry`. A fault while doing so
// ends the process.
void raise_panic(const char* entry, const std::exception_ptr& fault) noexcept;

// Runs `work`, which returns the entry's result or `failure` with a Python exception set, and
// returns its result; a fault that escapes `work` yields `failure` with the exception set.
template <class Result, class Work>
Result boundary_barrier(const char* entry, Result failure, Work&& work) noexcept {
    try {
        Result result = work();
        if (result == failure && !PyErr_Occurred()) {
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        }
        return result;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        raise_panic(entry, std::current_exception());
    }
    return failure;
}

}  // namespace vantor::binding
