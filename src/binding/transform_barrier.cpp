#include "binding/transform_barrier.h"

#include <exception>
#include <new>

#include "binding/fault.h"
#include "binding/fault_injection.h"

namespace vantor::binding {

TransformRun run_transform(std::string_view payload) noexcept {
    TransformRun run;
    try {
        if (!inject_transform_fault(payload, run.outcome)) run.outcome = columnarize_json(payload);
        run.kind = TransformRun::Kind::outcome;
    } catch (const std::bad_alloc&) {
        // Checked before any other fault: running out of memory is the caller's MemoryError,
        // not a defect of the transform.
        run.kind = TransformRun::Kind::out_of_memory;
    } catch (...) {
        run.kind = TransformRun::Kind::fault;
        try {
            run.fault_text =
                fault_text(std::current_exception(), "unknown panic in columnarize_json");
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
