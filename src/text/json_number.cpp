#include "text/json_number.h"

namespace vantor::text {

double JsonNumber::to_binary64() const {
    switch (variant_) {
        case Variant::unsigned_integer:
            return static_cast<double>(unsigned_);
        case Variant::signed_integer:
            return static_cast<double>(signed_);
        case Variant::float64:
            break;
    }
    return float_;
}

bool operator==(const JsonNumber& a, const JsonNumber& b) {
    if (a.variant_ != b.variant_) return false;
    switch (a.variant_) {
        case JsonNumber::Variant::unsigned_integer:
            return a.unsigned_ == b.unsigned_;
        case JsonNumber::Variant::signed_integer:
            return a.signed_ == b.signed_;
        case JsonNumber::Variant::float64:
            break;
    }
    return a.float_ == b.float_;
}

}  // namespace vantor::text
