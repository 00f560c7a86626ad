#pragma once
// An owned reference to an interpreter object, released when it goes out of scope, so that every
// early return of the boundary lets go of what it made. Use only with the interpreter lock held.
#include <Python.h>

#include <utility>

namespace vantor::binding {

class PyRef {
  public:
    PyRef() = default;
    // Takes over a new reference (or null).
    explicit PyRef(PyObject* owned) : object_(owned) {}
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) Py_XSETREF(object_, std::exchange(other.object_, nullptr));
        return *this;
    }
    ~PyRef() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Hands the reference to the caller.
    PyObject* release() { return std::exchange(object_, nullptr); }

  private:
    PyObject* object_ = nullptr;
};

}  // namespace vantor::binding
