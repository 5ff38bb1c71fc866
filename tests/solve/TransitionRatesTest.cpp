#include "solve/TransitionRates.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "gtest/gtest.h"
#include "solve/ChainSystem.h"

namespace {

// Every value reads back bit for bit, whether the codes hold it or, past
// their limit, plain doubles; neighbours one unit apart stay apart.
TEST(TransitionRatesTest, ValuesReadBackExactlyAcrossTheWidening) {
  struct Case {
    const char* name;
    std::size_t distinct;
    bool compact;
  };
  const std::vector<Case> cases = {
      {"a few values", 12, true},
      {"every code used", TransitionRates::kMaxCodes, true},
      {"one value too many", TransitionRates::kMaxCodes + 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> expected;
    double value = 0.36;
    for (std::size_t i = 0; i < c.distinct; ++i) {
      value = std::nextafter(value, 1.0);
      expected.push_back(value);
      // Repeats of earlier values in between, as a chain has them.
      expected.push_back(expected[i / 2 * 2]);
    }
    TransitionRates rates;
    for (double v : expected) rates.push_back(v);
    EXPECT_EQ(rates.compact(), c.compact);
    ASSERT_EQ(rates.size(), expected.size());
    EXPECT_EQ(rates.ToVector(), expected);
    if (c.compact) {
      EXPECT_EQ(rates.distinct(), c.distinct);
    }
  }
}

// After the look-up is freed, appending finds the old codes again.
TEST(TransitionRatesTest, AppendingAfterFinishingReusesTheCodes) {
  TransitionRates rates = {0.84, 1.0, 0.84};
  rates.FinishAppending();
  rates.push_back(1.0);
  rates.push_back(0.42);
  rates.push_back(0.84);
  EXPECT_EQ(rates.distinct(), 3u);
  EXPECT_EQ(rates.ToVector(),
            (std::vector<double>{0.84, 1.0, 0.84, 1.0, 0.42, 0.84}));
}

// The preconditioner's 2-byte factors: within half a unit of an 8-bit
// mantissa of the value over the normal floats, exact where 8 bits do.
TEST(TransitionRatesTest, FactorWordsKeepEightBitsOverTheFloatRange) {
  for (double exact : {1.0, -0.5, 0.25, 0.0, -1.5}) {
    EXPECT_EQ(ChainIlu0::Widen(ChainIlu0::Narrow(exact)), exact);
  }
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-100, 100);  // normal floats
  for (int i = 0; i < 100000; ++i) {
    const double value = std::ldexp(mantissa(random), exponent(random));
    const double back = ChainIlu0::Widen(ChainIlu0::Narrow(value));
    ASSERT_LE(std::abs(back - value), std::ldexp(std::abs(value), -8)) << value;
  }
}

}  // namespace
