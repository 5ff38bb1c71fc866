#include "solve/RowOffsets.h"

#include <cstddef>
#include <vector>

#include "gtest/gtest.h"

namespace {

// Offsets read back as pushed, below 2^32 and past one or more multiples of
// it, including rows that end exactly on one and empty rows across one.
TEST(RowOffsetsTest, ReadBackAcrossMultiplesOfTwoToThe32) {
  constexpr std::size_t k = std::size_t{1} << 32;
  struct Row {
    const char* name;
    std::vector<std::size_t> values;
  };
  const std::vector<Row> rows = {
      {"small", {0, 1, 3, 3, 7}},
      {"one below and one on 2^32", {0, k - 1, k, k + 5}},
      {"empty rows across 2^32", {0, 10, k + 3, k + 3, k + 3, 2 * k}},
      {"a jump over two multiples", {0, 5, 3 * k + 1, 3 * k + 2}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RowOffsets offsets;
    for (std::size_t value : row.values) offsets.push_back(value);
    ASSERT_EQ(offsets.size(), row.values.size());
    EXPECT_EQ(offsets.ToVector(), row.values);
    EXPECT_EQ(offsets.back(), row.values.back());
  }
}

}  // namespace
