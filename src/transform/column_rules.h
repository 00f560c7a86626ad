#pragma once
// The column rules both transforms apply, written once.
#include <cstddef>
#include <cstdint>

namespace vantor::column_rules {

// A column is constant when there are at least two rows and every row holds a value equal to the
// first row's; a column that is null in every row is dropped rather than made constant.
inline constexpr std::size_t kRowsForConstants = 2;

// What becomes of a column in the result: left out, written once among the constants, or written
// in the "columns" and in every row.
enum class ColumnFate : std::uint8_t { dropped, constant, written };

// The fate of a column held by `rows_holding` of `rows` rows, given whether any of them holds a
// value that is not null and whether every row's value equals the first row's.
inline ColumnFate column_fate(std::size_t rows, std::size_t rows_holding, bool holds_non_null,
                              bool matches_first_row) {
    if (!holds_non_null) return ColumnFate::dropped;
    if (rows >= kRowsForConstants && rows_holding == rows && matches_first_row) {
        return ColumnFate::constant;
    }
    return ColumnFate::written;
}

}  // namespace vantor::column_rules
