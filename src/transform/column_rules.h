#pragma once
// The column rules both transforms apply, written once.
#include <cstddef>

namespace vantor::column_rules {

// A column is constant when there are at least two rows and every row holds a value equal to the
// first row's; a column that is null in every row is dropped rather than made constant.
inline constexpr std::size_t kRowsForConstants = 2;

inline bool is_constant_column(std::size_t rows, std::size_t rows_holding, bool holds_non_null,
                               bool matches_first_row) {
    return rows >= kRowsForConstants && holds_non_null && rows_holding == rows && matches_first_row;
}

// The columns of the result's "columns" and rows: those with a value that is not null, but for
// the constants.
inline bool is_written_column(bool holds_non_null, bool constant) {
    return holds_non_null && !constant;
}

}  // namespace vantor::column_rules
