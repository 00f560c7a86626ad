#pragma once
// A process-wide interpreter object created once, on first need, with the interpreter lock held,
// and then shared read-only by every thread.
//
// The once-guard is a mutex that is only ever waited for with the interpreter lock released:
// a thread that holds the guard may need the interpreter lock to create the object, so waiting
// for the guard while holding the interpreter lock could deadlock against it.
#include <Python.h>

#include <atomic>
#include <mutex>

namespace vantor::binding {

class OnceObject {
  public:
    // Returns the object (a borrowed reference that lives for the rest of the process), creating
    // it with `create` (a new reference, or null with an exception set) on first use. Returns
    // null with the exception of `create` when creating it failed; a later call tries again.
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

}  // namespace vantor::binding
