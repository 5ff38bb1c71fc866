#include "solve/TransitionRates.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "gtest/gtest.h"

namespace {

// Every value reads back bit for bit, whether the codes hold it or, past
// their limit, plain doubles; neighbours one unit apart stay apart.
TEST(TransitionRatesTest, ValuesReadBackExactlyAcrossTheWidening) {
  using Form = TransitionRates::Form;
  struct Case {
    const char* name;
    std::size_t distinct;
    Form form;
  };
  const std::vector<Case> cases = {
      {"a few values", 12, Form::kByteCodes},
      {"every 1-byte code used", TransitionRates::kMaxByteCodes,
       Form::kByteCodes},
      {"one value past the 1-byte codes", TransitionRates::kMaxByteCodes + 1,
       Form::kCodes},
      {"every code used", TransitionRates::kMaxCodes, Form::kCodes},
      {"one value too many", TransitionRates::kMaxCodes + 1, Form::kWide},
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
    EXPECT_EQ(rates.form(), c.form);
    ASSERT_EQ(rates.size(), expected.size());
    EXPECT_EQ(rates.ToVector(), expected);
    if (c.form != Form::kWide) {
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

}  // namespace
