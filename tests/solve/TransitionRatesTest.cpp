#include "solve/TransitionRates.h"

#include <algorithm>
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

// Rates pushed in two runs and joined leave the same codes, table and form
// as one run, wherever the cut falls: before or after the widenings, with
// the second run alone past a limit, or only the two together.
TEST(TransitionRatesTest, ExtendingLeavesWhatOneRunLeaves) {
  struct Case {
    const char* name;
    std::size_t distinct;
  };
  const std::vector<Case> cases = {
      {"a few values", 12},
      {"past the 1-byte codes", TransitionRates::kMaxByteCodes + 40},
      {"past every code", TransitionRates::kMaxCodes + 40},
  };
  // Equal values and equal tables of distinct values mean equal codes.
  auto snapshot = [](const TransitionRates& r) {
    std::vector<double> values = r.ToVector();
    values.insert(values.end(), r.table(), r.table() + r.distinct());
    return values;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> values;
    std::mt19937 random(7);
    for (std::size_t i = 0; i < c.distinct; ++i) {
      values.push_back(1.0 + static_cast<double>(i) / 1024);
      // Earlier values again, so that the second run shares some codes.
      values.push_back(values[random() % values.size()]);
    }
    TransitionRates whole;
    for (double v : values) whole.push_back(v);
    const std::size_t n = values.size();
    const std::size_t late = n - std::min(n, TransitionRates::kMaxByteCodes);
    for (std::size_t cut :
         {std::size_t{0}, std::size_t{1}, n / 3, n / 2, late, n - 1, n}) {
      SCOPED_TRACE(cut);
      TransitionRates head;
      TransitionRates tail;
      for (std::size_t e = 0; e < cut; ++e) head.push_back(values[e]);
      head.FinishAppending();
      for (std::size_t e = cut; e < n; ++e) tail.push_back(values[e]);
      head.Extend(tail);
      EXPECT_EQ(head.form(), whole.form());
      EXPECT_EQ(head.distinct(), whole.distinct());
      EXPECT_EQ(snapshot(head), snapshot(whole));
      // And appending goes on from there as it would.
      head.push_back(0.5);
      EXPECT_EQ(head[n], 0.5);
    }
  }
}

}  // namespace
