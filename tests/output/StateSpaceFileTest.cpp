#include "output/StateSpaceFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "output/Formats.h"
#include "output/NumberFormat.h"
#include "tests/support/HardDoubles.h"

namespace {

std::string Printf(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10e", value);
  return text;
}

std::string Formatted(double value) {
  char text[64];
  return std::string(text, FormatRate(value, text));
}

// Doubles that stress %.10e: decimal ties at the 11th significant digit
// and their neighbours, powers of ten, carries into the next exponent,
// extremes, and random bit patterns.
std::vector<double> HardValues() {
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                0.25,
                                9.99999999995,
                                9.999999999949999,
                                99999999999.5,
                                1e-5,
                                1e22,
                                1e23,
                                5e-324,
                                2.2250738585072014e-308,
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity()};
  // Ties at the 11th significant digit and their neighbours.
  const std::vector<double> hard = TiesAndRandomBits(11, 40, 20000, 20240601);
  values.insert(values.end(), hard.begin(), hard.end());
  for (int i = 1; i <= 2000; ++i) {
    // Rates as models make them: products and sums of short decimals.
    values.push_back(i * 0.1 * 0.7);
    values.push_back(1.0 / i + 0.3);
  }
  return values;
}

}  // namespace

TEST(StateSpaceFileTest, FormatRateMatchesPrintf) {
  for (double value : HardValues()) {
    ASSERT_EQ(Formatted(value), Printf(value)) << Printf(value);
  }
}

TEST(StateSpaceFileTest, RateCacheGivesFormatRateText) {
  // Few distinct values, repeated and colliding in the cache's slots.
  const std::vector<double> all = HardValues();
  std::vector<double> values(all.begin(), all.begin() + 3000);
  std::mt19937 random(7);
  RateTextCache cache;
  for (int i = 0; i < 60000; ++i) {
    const double value = values[random() % values.size()];
    char text[64];
    const std::string cached(text, cache.Format(value, text));
    ASSERT_EQ(cached, Formatted(value));
  }
  // -0.0 and 0.0 differ in their bits and in their text.
  char text[64];
  EXPECT_EQ(std::string(text, cache.Format(0.0, text)), "0.0000000000e+00");
  EXPECT_EQ(std::string(text, cache.Format(-0.0, text)), "-0.0000000000e+00");
}

TEST(StateSpaceFileTest, WritesBlocksAndHeader) {
  std::stringstream out;
  StateSpaceFile file(out);
  file.WriteHeader(1, kNormalPlaceholderSpaces);
  file.WriteState(1, {{2, 0.5}, {3, 0.25}});
  file.WriteState(2, {});
  file.WriteState(3, {{3, 2.0}});
  ASSERT_TRUE(file.Finish(1, 3));
  EXPECT_EQ(out.str(), "1\n3\n" + std::string(61, ' ') +
                           "\n1\n2\n5.0000000000e-01\n3\n2.5000000000e-01\n0\n"
                           "2\n0\n3\n3\n2.0000000000e+00\n0\n");
}

// Blocks appended without flushing reach the stream in order, and a block
// longer than the internal buffer comes out whole: the text is compared
// with one built by printf.
TEST(StateSpaceFileTest, AppendedBlocksOfEverySizeMatchPrintf) {
  const std::vector<double> rates = HardValues();
  std::string expected =
      "1\n" + std::string(kNormalPlaceholderSpaces, ' ') + "\n";
  std::stringstream out;
  StateSpaceFile file(out);
  file.WriteHeader(1, kNormalPlaceholderSpaces);
  std::size_t next_rate = 0;
  std::uint32_t number = 1;
  // Two states longer than the buffer between short ones.
  for (std::size_t length : {std::size_t{0}, std::size_t{3}, std::size_t{5000},
                             std::size_t{1}, std::size_t{2100}}) {
    std::vector<Transition> block;
    expected += std::to_string(number) + "\n";
    for (std::size_t k = 0; k < length; ++k) {
      const double rate = rates[next_rate++ % rates.size()];
      const std::uint32_t target =
          static_cast<std::uint32_t>(4294967295u - 977 * k);
      block.push_back({target, rate});
      expected += std::to_string(target) + "\n" + Printf(rate) + "\n";
    }
    expected += "0\n";
    file.AppendState(number++, block);
  }
  file.Flush();
  EXPECT_FALSE(file.Failed());
  EXPECT_EQ(out.str(), expected);
}
