#include "output/RewardValuesFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "output/NumberFormat.h"
#include "output/NumberTextCache.h"
#include "tests/support/HardDoubles.h"

namespace {

std::string Exact(double value) {
  char text[64];
  return std::string(text, FormatRewardExact(value, text));
}

// Values a text cache could mistake for one another: neighbours one bit
// apart, values that share their first six or more digits, both zeros,
// denormals, the extremes, infinities and NaNs.
std::vector<double> CloseValues() {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                1.0000001,
                                1.0000002,
                                1.00000000000001,
                                0.1 + 0.2,
                                0.3,
                                123456.0,
                                123456.1,
                                5e-324,
                                -5e-324,
                                1e-310,
                                2.2250738585072014e-308,
                                std::numeric_limits<double>::max(),
                                -std::numeric_limits<double>::max(),
                                1e300,
                                inf,
                                -inf,
                                std::numeric_limits<double>::quiet_NaN(),
                                -std::numeric_limits<double>::quiet_NaN()};
  for (int i = 0; i < 200; ++i) {
    values.push_back(std::nextafter(1.0, 2.0) + i * 1e-16);
    values.push_back(std::nextafter(values.back(), 0.0));
  }
  const std::vector<double> hard = TiesAndRandomBits(6, 15, 2000, 4242);
  values.insert(values.end(), hard.begin(), hard.end());
  return values;
}

std::string Bytes(std::uint64_t value, int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes.push_back(char(value >> (8 * i)));
  return bytes;
}

}  // namespace

// Repeated values from a set larger than the cache, so that slots are
// shared and overwritten: every text is the uncached one.
TEST(RewardValuesFileTest, TextCacheGivesTheUncachedText) {
  const std::vector<double> values = CloseValues();
  std::mt19937 random(11);
  RewardTextCache cache;
  for (int i = 0; i < 100000; ++i) {
    const double value = values[random() % values.size()];
    char text[64];
    const std::string cached(text, cache.Format(value, text));
    ASSERT_EQ(cached, Exact(value)) << i;
  }
  char text[64];
  EXPECT_EQ(std::string(text, cache.Format(0.0, text)), "0");
  EXPECT_EQ(std::string(text, cache.Format(-0.0, text)), "-0");
}

// Records appended past the internal buffer, text and binary, come out as
// records built here one value at a time; with every record written at
// once the bytes are the same.
TEST(RewardValuesFileTest, AppendedRecordsMatchRecordsBuiltByHand) {
  const std::vector<double> values = CloseValues();
  const std::vector<std::string> names = {"a", "b", "c"};
  for (bool text : {true, false}) {
    for (bool flush_each : {false, true}) {
      SCOPED_TRACE(std::string(text ? "text" : "binary") +
                   (flush_each ? ", written one by one" : ", appended"));
      std::string expected = "a\nb\nc\n";
      std::ostringstream out;
      {
        RewardValuesFile file(out, names, text);
        std::size_t next = 0;
        for (std::uint32_t number = 0; number < 8000; ++number) {
          double record[6];
          for (double& v : record) v = values[next++ % values.size()];
          if (text) {
            expected += std::to_string(number) + "\n";
            for (double v : record) expected += Exact(v) + "\n";
          } else {
            expected += Bytes(number, 4);
            for (double v : record) {
              std::uint64_t bits = 0;
              std::memcpy(&bits, &v, sizeof bits);
              expected += Bytes(bits, 8);
            }
          }
          if (flush_each) {
            file.Write(number, record);
          } else {
            file.Append(number, record);
          }
        }
        file.Flush();
        EXPECT_FALSE(file.Failed());
      }
      EXPECT_GT(expected.size(), std::size_t{1} << 17);
      ASSERT_TRUE(out.str() == expected);
    }
  }
}
