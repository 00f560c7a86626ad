#pragma once
// Faults on demand for the test build of the module (compiled with VANTOR_FAULT_INJECTION, the
// hooks defined in tests/python/fault_injection.cpp), so that the tests can drive both barriers. In
// the shipped module these hooks do nothing and the trigger payloads are ordinary (unreadable)
// payloads.
//
// A payload that begins with "#vantor-fault:" selects the fault by what follows:
//   "runtime_error:TEXT"  the transform throws std::runtime_error(TEXT)
//   "int"                 the transform throws an int (a fault without a text)
//   "bad_alloc"           the transform throws std::bad_alloc
//   "result_bytes:N"      the transform returns N bytes of '0' as its result (no throw), so that
//                         making the result object can be made to run out of memory
//   "boundary:TEXT"       after the transform, the boundary throws a fault with TEXT
//   "boundary_int"        after the transform, the boundary throws an int
// A boundary fault whose TEXT is "nested" faults again while it is being handled.
#include <string_view>

#include "transform/columnarize.h"

namespace vantor::binding {

// inject_transform_fault returns true when it made the transform's outcome itself.
#ifdef VANTOR_FAULT_INJECTION
bool inject_transform_fault(std::string_view payload, transform::TransformOutcome& outcome);
void inject_boundary_fault(std::string_view payload);
void inject_fault_while_handling(std::string_view fault_text);
#else
inline bool inject_transform_fault(std::string_view, transform::TransformOutcome&) {
    return false;
}
inline void inject_boundary_fault(std::string_view) {}
inline void inject_fault_while_handling(std::string_view) {}
#endif

}  // namespace vantor::binding
