#include "binding/columnarize_entry.h"

#include "binding/arguments.h"
#include "binding/boundary_barrier.h"
#include "binding/call_body.h"

namespace vantor::binding {

PyObject* columnarize_entry(PyObject* /*self*/, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    return boundary_barrier<PyObject*>("columnarize", nullptr, [&]() -> PyObject* {
        BoundArguments bound;
        if (auto error = bind_arguments(args, nargs, kwnames, bound)) {
            error->raise();
            return nullptr;
        }
        // The payload is converted first, so when both arguments are bad its error wins.
        auto payload = convert_payload(bound.payload);
        if (!payload) return nullptr;
        if (!convert_min_rows(bound.min_rows)) return nullptr;
        return run_call_body(*payload);
    });
}

}  // namespace vantor::binding
