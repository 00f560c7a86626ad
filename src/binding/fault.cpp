#include "binding/fault.h"

#include <Python.h>

#include <cstdio>
#include <new>

namespace vantor::binding {

std::string fault_text(const std::exception_ptr& fault, const char* fallback) {
    try {
        std::rethrow_exception(fault);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return fallback;
    }
}

void report_fault(const std::exception_ptr& fault, const char* caught_in,
                  const std::string& text) noexcept {
    // The thread ident is read without the interpreter lock: it is the platform's thread id.
    unsigned long thread = PyThread_get_thread_ident();
    const char* file = "?";
    unsigned line = 0;
    try {
        std::rethrow_exception(fault);
    } catch (const BindingFault& raised) {
        file = raised.where().file_name();
        line = raised.where().line();
    } catch (...) {
    }
    if (line != 0) {
        std::fprintf(stderr,
                     "vantor_codec: internal fault on thread %lu at %s:%u, caught in %s: %s\n",
                     thread, file, line, caught_in, text.c_str());
    } else {
        std::fprintf(stderr, "vantor_codec: internal fault on thread %lu, caught in %s: %s\n",
                     thread, caught_in, text.c_str());
    }
    std::fflush(stderr);
}

void fatal_panic(const char* detail) noexcept {
    if (detail != nullptr) std::fprintf(stderr, "vantor_codec: %s\n", detail);
    std::fprintf(stderr, "vantor_codec: uncaught panic at ffi boundary\n");
    std::fflush(stderr);
    Py_FatalError("uncaught panic at ffi boundary");
}

}  // namespace vantor::binding
