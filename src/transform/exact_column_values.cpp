#include "transform/exact_column_values.h"

#include "transform/number_equality.h"

namespace vantor::transform {

using column_rules::numbers_equal_in_value;
using json::JsonKind;

bool column_values_equal(const json::JsonValue& a, const json::JsonValue& b) {
    if (a.kind() == JsonKind::number && b.kind() == JsonKind::number) {
        return numbers_equal_in_value(a.as_number(), b.as_number());
    }
    return a == b;
}

}  // namespace vantor::transform
