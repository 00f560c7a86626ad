#pragma once
// Internal faults of the binding layer. A fault is a C++ exception that abandons the running
// work by unwinding; the barriers (boundary_barrier.h, transform_barrier.h) turn it into a Python
// exception. Failures that the design expects (bad arguments, unreadable payloads) are never
// faults: they travel as PendingError values.
#include <exception>
#include <source_location>
#include <stdexcept>
#include <string>

namespace vantor::binding {

// A fault raised by the binding layer itself; it remembers where it was raised for the report.
class BindingFault : public std::runtime_error {
  public:
    explicit BindingFault(const std::string& text,
                          std::source_location where = std::source_location::current())
        : std::runtime_error(text), where_(where) {}
    const std::source_location& where() const { return where_; }

  private:
    std::source_location where_;
};

// The text of a caught fault: what() of a standard exception, else `fallback` (a fault without a
// text).
std::string fault_text(const std::exception_ptr& fault, const char* fallback);

// Writes the one-line report that accompanies every caught fault to standard error: the thread,
// where the fault was raised or caught, and its text. Never throws.
void report_fault(const std::exception_ptr& fault, const char* caught_in,
                  const std::string& text) noexcept;

// Ends the process: a fault that arose while another was being handled cannot be contained.
[[noreturn]] void fatal_panic(const char* detail) noexcept;

}  // namespace vantor::binding
