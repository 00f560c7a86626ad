#include "text/json_number.h"

namespace vantor::text {

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
