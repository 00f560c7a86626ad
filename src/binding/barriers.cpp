#include "binding/barriers.h"

#include <cstdio>

#include "binding/errors.h"
#include "binding/fault_injection.h"
#include "binding/process_objects.h"

namespace vantor::binding {
namespace {

// The text of a caught fault: what() of a standard exception, else `fallback`.
std::string fault_text(const std::exception_ptr& fault, const char* fallback) {
    try {
        std::rethrow_exception(fault);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return fallback;
    }
}

// The one-line report on standard error that accompanies every caught fault.
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

// Ends the process: a fault that arose while another was being handled cannot be contained.
[[noreturn]] void fatal_panic(const char* detail) noexcept {
    if (detail != nullptr) std::fprintf(stderr, "vantor_codec: %s\n", detail);
    std::fprintf(stderr, "vantor_codec: %s\n", messages::kUncaughtPanic);
    std::fflush(stderr);
    Py_FatalError(messages::kUncaughtPanic);
}

}  // namespace

void raise_panic(const char* entry, const std::exception_ptr& fault) noexcept {
    try {
        std::string text = fault_text(fault, messages::kFaultWithoutText);
        report_fault(fault, entry, text);
        inject_fault_while_handling(text);
        PyObject* type = panic_exception_type();
        if (type == nullptr) fatal_panic(messages::kPanicTypeNotMade);
        PendingError(type, std::move(text)).raise();
    } catch (...) {
        fatal_panic(nullptr);
    }
}

TransformRun run_transform(text::PaddedText payload, memory::ScratchArea& call_block) noexcept {
    TransformRun run;
    try {
        if (!inject_transform_fault(payload.view(), run.outcome))
            run.outcome = transform::columnarize(payload, call_block);
        run.kind = TransformRun::Kind::outcome;
    } catch (const std::bad_alloc&) {
        // Checked before any other fault: running out of memory is the caller's MemoryError,
        // not a defect of the transform.
        run.kind = TransformRun::Kind::out_of_memory;
    } catch (...) {
        run.kind = TransformRun::Kind::fault;
        try {
            run.fault_text =
                fault_text(std::current_exception(), messages::kTransformFaultWithoutText);
            report_fault(std::current_exception(), "columnarize_json (transform barrier)",
                         run.fault_text);
        } catch (...) {
            // Only copying the fault's text can fail here, and only for want of memory.
            run.kind = TransformRun::Kind::out_of_memory;
        }
    }
    return run;
}

}  // namespace vantor::binding
