#include "binding/boundary_barrier.h"

#include <string>

#include "binding/fault.h"
#include "binding/fault_injection.h"
#include "binding/panic_exception.h"
#include "binding/pending_error.h"

namespace vantor::binding {

void raise_panic(const char* entry, const std::exception_ptr& fault) noexcept {
    try {
        std::string text = fault_text(fault, "internal fault without a message");
        report_fault(fault, entry, text);
        inject_fault_while_handling(text);
        PendingError(panic_exception_type(), std::move(text)).raise();
    } catch (...) {
        fatal_panic(nullptr);
    }
}

}  // namespace vantor::binding
