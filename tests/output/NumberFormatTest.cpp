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

std::string Exact(double value) {
  char text[64];
  return std::string(text, FormatRewardExact(value, text));
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

// Values that six digits already hold keep their "%g" bytes; every other
// value reads back exactly, in the fewest digits that allow it.
TEST(FormatRewardExactTest, SixDigitsUnchangedOthersExact) {
  const struct {
    double value;
    const char* text;
  } rows[] = {
      {0.0, "0"},
      {1.0, "1"},
      {0.5, "0.5"},
      {2.5, "2.5"},
      {-0.0, "-0"},
      {1e-5, "1e-05"},
      {100000.0, "100000"},
      {1e300, "1e+300"},
      {5e-324, "4.94066e-324"},
      {1.0 / 3.0, "0.3333333333333333"},
      {1100.0 / 3.0, "366.6666666666667"},
      {1234567.0, "1234567"},
      {0.1 + 0.2, "0.30000000000000004"},
      {-2.2250738585072014e-308, "-2.2250738585072014e-308"},
      {std::numeric_limits<double>::infinity(), "inf"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Exact(row.value), row.text);
  }
  std::mt19937_64 random(4242);
  std::vector<double> values = TiesAndRandomBits(6, 15, 20000, 777);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isfinite(value)) values.push_back(value);
  }
  for (int i = -1000; i <= 1000; ++i) values.push_back(i / 7.0);
  for (double value : values) {
    const std::string text = Exact(value);
    ASSERT_LE(text.size(), 24u) << text;
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    // Where six digits read back, the bytes are "%g"'s.
    if (std::strtod(Printf(value).c_str(), nullptr) == value) {
      ASSERT_EQ(text, Printf(value));
    }
  }
}

// Rates that eleven digits hold keep their "%.10e" bytes; every other rate
// reads back exactly, in the fewest digits that allow it.
TEST(FormatRateExactTest, ElevenDigitsUnchangedOthersExact) {
  auto exact = [](double value) {
    char text[32];
    return std::string(text, FormatRateExact(value, text));
  };
  const struct {
    double value;
    const char* text;
  } rows[] = {
      {1.25, "1.2500000000e+00"},
      {-1.0, "-1.0000000000e+00"},
      {3e-300, "3.0000000000e-300"},
      {0.1, "1.0000000000e-01"},
      {1.0 / 3.0, "3.333333333333333e-01"},
      {0.1 + 0.2, "3.0000000000000004e-01"},
      {1e15 + 1, "1.000000000000001e+15"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(exact(row.value), row.text);
  }
  std::vector<double> values = TiesAndRandomBits(11, 17, 20000, 91);
  for (int i = -1000; i <= 1000; ++i) values.push_back(i / 7.0);
  for (double value : values) {
    const std::string text = exact(value);
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    char ten[32];
    const std::string ten_digits(ten, FormatRate(value, ten));
    if (std::strtod(ten_digits.c_str(), nullptr) == value) {
      ASSERT_EQ(text, ten_digits);
    }
  }
}

// Every line of a state-space file starts with one of these: digit counts
// from 1 to 20, each side of every power of ten, and random values.
TEST(FormatUnsignedTest, MatchesPrintf) {
  std::vector<std::uint64_t> values = {
      0,
      9,
      10,
      99,
      100,
      std::numeric_limits<std::uint32_t>::max(),
      std::numeric_limits<std::uint64_t>::max()};
  for (std::uint64_t power = 1; power <= 1000000000000000000u; power *= 10) {
    for (std::uint64_t value : {power - 1, power, power + 1, 10 * power - 1}) {
      values.push_back(value);
    }
  }
  values.push_back(10000000000000000000u);
  std::mt19937_64 random(26);
  for (int i = 0; i < 20000; ++i) values.push_back(random() >> (random() % 64));
  // Below 10^8 all eight digits are made at once: every value up to 10^5,
  // and many more of eight digits or fewer.
  for (std::uint64_t value = 0; value < 100000; ++value) {
    values.push_back(value);
  }
  for (int i = 0; i < 200000; ++i) values.push_back(random() % 100000000u);
  for (std::uint64_t value : values) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "%llu",
                  static_cast<unsigned long long>(value));
    char text[32];
    ASSERT_EQ(std::string(text, FormatUnsigned(value, text)), expected);
  }
}
