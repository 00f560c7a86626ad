#include "binding/process_objects.h"

#include <atomic>
#include <mutex>
#include <string_view>

namespace vantor::binding {
namespace {

// One process-wide object and its once-guard. The guard is a mutex that is only ever waited for
// with the interpreter lock released: a thread that holds the guard may need the interpreter lock
// to create the object, so waiting for the guard while holding the interpreter lock could
// deadlock against it.
//
// The guard, not the interpreter lock, is what makes the object once: `create` may let the lock go
// (a collection it triggers can run Python code), and a free-threaded interpreter (Py_GIL_DISABLED)
// has no lock at all, so two threads may both find the slot empty at the same time. Only the
// holder of the mutex creates, and it looks at the slot again first, so one object is made and
// every thread returns that one. The slot is an atomic written once with release order after the
// object is complete and read with acquire order, so a thread that skips the mutex still sees the
// object whole. Waiting for the mutex detaches the thread from the interpreter
// (PyEval_SaveThread), as PyMutex does: in the free-threaded build a thread that stops the world
// (its collector does) waits for attached threads only, so a waiter never holds it up.
class OnceObject {
  public:
    // The object, made with `create` (a new reference, or null with an exception set) on first
    // use; null with the exception of `create` when making it failed.
    template <class Create>
    PyObject* get(Create&& create) {
        if (PyObject* ready = object_.load(std::memory_order_acquire)) return ready;
        if (!guard_.try_lock()) {
            PyThreadState* saved = PyEval_SaveThread();
            guard_.lock();
            PyEval_RestoreThread(saved);
        }
        std::lock_guard<std::mutex> held(guard_, std::adopt_lock);
        PyObject* ready = object_.load(std::memory_order_acquire);
        if (ready == nullptr) {
            ready = create();
            if (ready != nullptr) object_.store(ready, std::memory_order_release);
        }
        return ready;
    }

  private:
    std::atomic<PyObject*> object_{nullptr};
    std::mutex guard_;
};

PyObject* interned(OnceObject& slot, std::string_view text) {
    return slot.get([text]() -> PyObject* {
        PyObject* name =
            PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
        if (name != nullptr) PyUnicode_InternInPlace(&name);
        return name;
    });
}

OnceObject name_dunder_slot;
OnceObject all_dunder_slot;
OnceObject add_note_slot;
OnceObject panic_exception_slot;

constexpr char kPanicExceptionDoc[] =
    "An internal fault of vantor_codec that reached its boundary with the interpreter.\n"
    "\n"
    "It derives from BaseException, not Exception: it reports a defect in the module, not a\n"
    "failure of the input.";

}  // namespace

PyObject* name_dunder_name() {
    return interned(name_dunder_slot, "__name__");
}
PyObject* all_dunder_name() {
    return interned(all_dunder_slot, "__all__");
}
PyObject* add_note_name() {
    return interned(add_note_slot, "add_note");
}

PyObject* panic_exception_type() {
    return panic_exception_slot.get([] {
        return PyErr_NewExceptionWithDoc("vantor_codec.PanicException", kPanicExceptionDoc,
                                         PyExc_BaseException, nullptr);
    });
}

}  // namespace vantor::binding
