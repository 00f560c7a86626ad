#include "binding/call_body.h"

#include <cstring>
#include <memory>
#include <string>

#include "binding/fault.h"
#include "binding/fault_injection.h"
#include "binding/pending_error.h"
#include "binding/transform_barrier.h"
#include "json/huge_pages.h"

namespace vantor::binding {
namespace {

struct BufferDeleter {
    void operator()(char* bytes) const { json::release_buffer(bytes); }
};
using PayloadCopy = std::unique_ptr<char[], BufferDeleter>;

// Without the lock the transform may touch no interpreter object, the contents of the `bytes`
// object included, so it works on a private copy made while the lock is held.
bool copy_payload(std::string_view payload, PayloadCopy& copy) {
    if (payload.empty()) return true;
    // The copy is made with the lock held; a buffer on huge pages spares it most page faults.
    copy.reset(static_cast<char*>(json::allocate_buffer(payload.size())));
    if (!copy) return false;
    std::memcpy(copy.get(), payload.data(), payload.size());
    return true;
}

PyObject* make_result(const json::ByteBuffer& text) {
    PyObject* result = PyBytes_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (result != nullptr) return result;
    // An output far larger than its input is expected of sparse payloads: running out of memory
    // here is the caller's MemoryError. Anything else is a defect.
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) return nullptr;
    PyErr_WriteUnraisable(nullptr);
    throw BindingFault("PyObject pointer is null");
}

}  // namespace

PyObject* run_call_body(std::string_view payload) {
    PayloadCopy copy;
    if (!copy_payload(payload, copy)) return PyErr_NoMemory();

    PyThreadState* saved = PyEval_SaveThread();
    TransformRun run = run_transform(std::string_view(copy.get(), payload.size()));
    copy.reset();
    PyEval_RestoreThread(saved);

    inject_boundary_fault(payload);
    switch (run.kind) {
        case TransformRun::Kind::outcome:
            if (run.outcome.kind == TransformOutcome::Kind::result) {
                return make_result(run.outcome.text);
            }
            PendingError(PyExc_RuntimeError, std::string(run.outcome.text.view())).raise();
            return nullptr;
        case TransformRun::Kind::out_of_memory:
            return PyErr_NoMemory();
        case TransformRun::Kind::fault:
            PendingError(PyExc_RuntimeError,
                         "internal panic during columnarization: " + run.fault_text)
                .raise();
            return nullptr;
    }
    throw BindingFault("unknown transform outcome");
}

}  // namespace vantor::binding
