#pragma once
// The TypeError text for an object of the wrong type:
// "'{type}' object is not an instance of '{target}'", or "'None' is not an instance of '{target}'".
#include <Python.h>

#include <string>

namespace vantor::binding {

std::string type_mismatch_message(PyObject* object, const char* target_type);

}  // namespace vantor::binding
