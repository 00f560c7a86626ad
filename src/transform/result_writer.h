#pragma once
// The result writer: the columnar document written from the tape and the column index
// (transform/column_index.h) once every row is read and each column's fate is chosen. Its length
// is bounded first, from bounds known by then, so that it is written into one allocation, values
// whose payload text is already their output copied as they stand.
#include <cstddef>

#include "memory/byte_buffer.h"
#include "tape/tape.h"
#include "transform/column_index.h"

namespace vantor::transform {

// An upper bound of the result's length. Throws std::bad_alloc when rows times columns exceeds
// any memory.
std::size_t result_bound(const tape::Tape& tape, const ColumnIndex& columns);

// Writes the result into `out`, which has room for result_bound(). A tape of several huge pages
// is given back behind the rows as they are written, and with it the column index's members.
void write_result(const tape::Tape& tape, ColumnIndex& columns, memory::ByteBuffer& out);

}  // namespace vantor::transform
