#pragma once
// A JSON number as read: an unsigned or signed 64-bit integer, or a finite binary64 value. Both
// readers (the exact reader and the tape's) and the column comparisons hold numbers in this form,
// so it lives apart from any of them.
#include <cstdint>

namespace vantor::text {

class JsonNumber {
  public:
    enum class Variant : std::uint8_t { unsigned_integer, signed_integer, float64 };

    static constexpr JsonNumber from_unsigned(std::uint64_t value) {
        JsonNumber n;
        n.variant_ = Variant::unsigned_integer;
        n.unsigned_ = value;
        return n;
    }
    static constexpr JsonNumber from_signed(std::int64_t value) {
        JsonNumber n;
        n.variant_ = Variant::signed_integer;
        n.signed_ = value;
        return n;
    }
    // `value` must be finite.
    static constexpr JsonNumber from_float(double value) {
        JsonNumber n;
        n.variant_ = Variant::float64;
        n.float_ = value;
        return n;
    }

    constexpr Variant variant() const { return variant_; }
    constexpr std::uint64_t unsigned_value() const { return unsigned_; }
    constexpr std::int64_t signed_value() const { return signed_; }
    constexpr double float_value() const { return float_; }

    // Same variant and equal value; floats compare by IEEE equality, so 0.0 equals -0.0.
    friend bool operator==(const JsonNumber& a, const JsonNumber& b);

  private:
    constexpr JsonNumber() : unsigned_(0) {}
    union {
        std::uint64_t unsigned_;
        std::int64_t signed_;
        double float_;
    };
    Variant variant_ = Variant::unsigned_integer;
};

}  // namespace vantor::text
