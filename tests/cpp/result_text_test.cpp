// The null runs of the result's rows: every length around the block's size, opening a row or
// following a value, against the text built one null at a time.
#include "transform/result_text.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace {

using vantor::transform::result_text::kNullBlock;
using vantor::transform::result_text::kNullTextSize;
using vantor::transform::result_text::write_null_run;

std::string nulls_one_by_one(std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t position = from; position < to; ++position)
        text += position == 0 ? "null" : ",null";
    return text;
}

TEST(NullRuns, EveryLengthAroundTheBlockOpeningARowOrFollowingAValue) {
    const std::size_t block_nulls = kNullBlock.size() / kNullTextSize;
    const std::size_t lengths[] = {0,
                                   1,
                                   2,
                                   block_nulls - 1,
                                   block_nulls,
                                   block_nulls + 1,
                                   2 * block_nulls - 1,
                                   2 * block_nulls,
                                   2 * block_nulls + 1,
                                   5 * block_nulls + 7};
    const std::size_t starts[] = {0, 1, 3, 40};
    for (std::size_t from : starts) {
        for (std::size_t length : lengths) {
            std::vector<char> room(length * kNullTextSize + 1, '#');
            char* end = write_null_run(from, from + length, room.data());
            std::string written(room.data(), end);
            EXPECT_EQ(written, nulls_one_by_one(from, from + length))
                << "from " << from << ", " << length << " nulls";
            // Nothing past the run's bytes, which the callers size exactly.
            EXPECT_EQ(room.back(), '#');
        }
    }
}

}  // namespace
