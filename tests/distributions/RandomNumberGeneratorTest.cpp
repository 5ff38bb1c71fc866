#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "distributions/LaggedFibonacci.h"
#include "distributions/Rnd-KnuthLaggedFibonacci.h"
#include "distributions/Tausworthe.h"

namespace {

// Published check value of the generator.
TEST(KnuthLaggedFibonacciTest, CheckValueIndependentOfBlockSize) {
  std::vector<double> a(2009);
  ranf_start(310952);
  for (int m = 0; m < 2009; ++m) ranf_array(a.data(), 1009);
  EXPECT_EQ(ran_u[0], 0.36410514377569680455);
  ranf_start(310952);
  for (int m = 0; m < 1009; ++m) ranf_array(a.data(), 2009);
  EXPECT_EQ(ran_u[0], 0.36410514377569680455);
}

TEST(KnuthLaggedFibonacciTest, NextUsesFirstHundredOfEachQualityBlock) {
  std::vector<double> first(kRanfQuality);
  std::vector<double> second(kRanfQuality);
  ranf_start(42);
  ranf_array(first.data(), first.size());
  ranf_array(second.data(), second.size());

  ranf_start(42);
  for (std::size_t i = 0; i < kRanfLongLag; ++i) {
    ASSERT_EQ(ranf_arr_next(), first[i]) << "value " << i;
  }
  EXPECT_EQ(ranf_arr_next(), second[0]);
  EXPECT_EQ(ranf_arr_next(), second[1]);
}

class LaggedFibonacciTest : public testing::Test {
 protected:
  void SetUp() override { LaggedFibonacci::ResetReadPosition(); }
};

TEST_F(LaggedFibonacciTest, HandsOutSecondBlockThenRefills) {
  std::array<double, kRanfLongLag> second;
  std::array<double, kRanfLongLag> third;
  ranf_start(2718);
  ranf_array(second.data(), second.size());
  ranf_array(second.data(), second.size());
  ranf_array(third.data(), third.size());

  LaggedFibonacci generator;
  generator.srnd(2718);
  for (std::size_t i = 0; i < kRanfLongLag; ++i) {
    ASSERT_EQ(generator.rnd(), second[i]) << "value " << i;
  }
  EXPECT_EQ(LaggedFibonacci::ReadPosition(), kRanfLongLag);
  EXPECT_EQ(generator.rnd(), third[0]);
  EXPECT_EQ(generator.rnd(), third[1]);
}

TEST_F(LaggedFibonacciTest, ReadPositionIsSharedAndSurvivesSeeding) {
  std::array<double, kRanfLongLag> block;
  ranf_start(99);
  ranf_array(block.data(), block.size());
  ranf_array(block.data(), block.size());

  LaggedFibonacci one;
  one.srnd(99);
  one.rnd();
  one.rnd();
  one.rnd();
  LaggedFibonacci two;
  two.srnd(99);
  EXPECT_EQ(two.rnd(), block[3]);
}

TEST(TauswortheTest, HandComputedSteps) {
  const double unit = std::ldexp(1.0, -31);
  struct Row {
    unsigned long seed;
    double first;
    double second;
  };
  const Row rows[] = {
      // 1 -> 8193 -> 67108865 ^ 256
      {1, 8193 * unit, 67109121 * unit},
      // Only the low 32 bits of the seed are kept.
      {(1ul << 32) + 1, 8193 * unit, 67109121 * unit},
      // Bit 18 shifted into bit 31 is masked off; t >> 18 sets bit 0.
      {1ul << 18, 262145 * unit, 270336 * unit},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.seed);
    Tausworthe generator;
    generator.srnd(row.seed);
    EXPECT_EQ(generator.rnd(), row.first);
    EXPECT_EQ(generator.rnd(), row.second);
  }
}

}  // namespace
