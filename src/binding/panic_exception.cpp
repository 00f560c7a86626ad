#include "binding/panic_exception.h"

#include "binding/fault.h"
#include "binding/once_object.h"

namespace vantor::binding {
namespace {

OnceObject panic_exception_slot;

constexpr const char* panic_exception_doc =
    "An internal fault of vantor_codec that reached its boundary with the interpreter.\n"
    "\n"
    "It derives from BaseException, not Exception: it reports a defect in the module, not a\n"
    "failure of the input.";

}  // namespace

PyObject* panic_exception_type() noexcept {
    PyObject* type = panic_exception_slot.get([] {
        return PyErr_NewExceptionWithDoc("vantor_codec.PanicException", panic_exception_doc,
                                         PyExc_BaseException, nullptr);
    });
    if (type == nullptr) fatal_panic("Failed to initialize new exception type.");
    return type;
}

}  // namespace vantor::binding
