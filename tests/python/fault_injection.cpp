// The test build's fault triggers (binding/fault_injection.h), compiled into the fault-injection
// variant of the module only.
#ifdef VANTOR_FAULT_INJECTION
#include "binding/fault_injection.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "binding/errors.h"

namespace vantor::binding {
namespace {

constexpr std::string_view kTrigger = "#vantor-fault:";

// The command after the trigger, or an empty view when the payload carries none.
std::string_view command_of(std::string_view payload) {
    if (payload.substr(0, kTrigger.size()) != kTrigger) return {};
    return payload.substr(kTrigger.size());
}

bool take_prefix(std::string_view& text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

}  // namespace

bool inject_transform_fault(std::string_view payload, transform::TransformOutcome& outcome) {
    std::string_view command = command_of(payload);
    if (take_prefix(command, "result_bytes:")) {
        std::size_t size = std::stoull(std::string(command));
        outcome = transform::TransformOutcome{transform::TransformOutcome::Kind::result,
                                              memory::ByteBuffer(size)};
        std::memset(outcome.text.tail(size), '0', size);
        outcome.text.commit(size);
        return true;
    }
    if (take_prefix(command, "runtime_error:")) throw std::runtime_error(std::string(command));
    if (command == "int") throw 42;
    if (command == "bad_alloc") throw std::bad_alloc();
    return false;
}

void inject_boundary_fault(std::string_view payload) {
    std::string_view command = command_of(payload);
    if (take_prefix(command, "boundary:")) throw BindingFault(std::string(command));
    if (command == "boundary_int") throw 42;
}

void inject_fault_while_handling(std::string_view fault_text) {
    if (fault_text == "nested") throw std::runtime_error("a fault while handling a fault");
}

}  // namespace vantor::binding
#endif
