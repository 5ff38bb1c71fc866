#include "output/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/support/HardDoubles.h"

namespace {

std::string Printf(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string Formatted(double value) {
  char text[64];
  return std::string(text, FormatReward(value, text));
}

}  // namespace

// Reward texts must be exactly the stream's default format, %.6g: the
// switch between fixed and exponent notation, dropped trailing zeros, and
// rounding at the sixth significant digit.
TEST(FormatRewardTest, MatchesPrintfG) {
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                0.25,
                                1234567.0,
                                999999.5,
                                999999.4999,
                                123456.5,
                                0.0001,
                                0.00001,
                                0.000099999995,
                                100000.0,
                                1e-7,
                                1e300,
                                5e-324,
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity()};
  // Ties at the seventh significant digit and their neighbours.
  const std::vector<double> hard = TiesAndRandomBits(6, 15, 20000, 31337);
  values.insert(values.end(), hard.begin(), hard.end());
  for (int i = -1000; i <= 1000; ++i) {
    values.push_back(i);
    values.push_back(i / 7.0);
  }
  for (double value : values) {
    ASSERT_EQ(Formatted(value), Printf(value)) << Printf(value);
  }
}
