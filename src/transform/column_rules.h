#pragma once
// The column rules of the transform: what becomes of a column, and the guess of a member's
// column from the previous row.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/same_bytes.h"

namespace vantor::transform::column_rules {

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

// Rows usually list their members in the previous row's order, so a member's column is first
// guessed as the one the previous row had at the same position: `previous_row` holds that row's
// columns, and the guess stands when `name_of(column)` is the member's name. `none` when it
// fails, and the caller looks the name up. previous_row_column is the guess before its test, for
// a caller that tests the name its own way.
template <class ColumnNumber>
inline ColumnNumber previous_row_column(const ColumnNumber* previous_row, std::size_t previous_size,
                                        std::size_t position, ColumnNumber none) {
    return position < previous_size ? previous_row[position] : none;
}

template <class ColumnNumber, class NameOf>
inline ColumnNumber previous_row_guess(const ColumnNumber* previous_row, std::size_t previous_size,
                                       std::size_t position, std::string_view name,
                                       ColumnNumber none, const NameOf& name_of) {
    const ColumnNumber guess = previous_row_column(previous_row, previous_size, position, none);
    if (guess != none && text::same_bytes(name_of(guess), name)) return guess;
    return none;
}

}  // namespace vantor::transform::column_rules
