#include "distributions/UserDistributions.h"

#include <gtest/gtest.h>

#include <array>

#include "distributions/LaggedFibonacci.h"
#include "distributions/Rnd-KnuthLaggedFibonacci.h"
#include "distributions/Tausworthe.h"

namespace {

class UserDistributionsTest : public testing::Test {
 protected:
  void SetUp() override { LaggedFibonacci::ResetReadPosition(); }

  // First value a LaggedFibonacci seeded with `seed` hands out.
  static double FirstLaggedFibonacci(long seed) {
    std::array<double, kRanfLongLag> block;
    ranf_start(seed);
    ranf_array(block.data(), block.size());
    ranf_array(block.data(), block.size());
    return block[0];
  }
};

TEST_F(UserDistributionsTest, KindOneDrawsFromSeededTausworthe) {
  UserDistributions d(1, 5);
  ASSERT_NE(dynamic_cast<Tausworthe*>(d.Generator.get()), nullptr);
  Tausworthe reference;
  reference.srnd(5);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(d.Uniform(0.0, 1.0), reference.rnd()) << "draw " << i;
  }
}

TEST_F(UserDistributionsTest, OtherKindsDrawFromSeededLaggedFibonacci) {
  for (int kind : {0, 7, -3}) {
    SCOPED_TRACE(kind);
    const double expected = FirstLaggedFibonacci(271828);
    UserDistributions d(kind, 271828);
    ASSERT_NE(dynamic_cast<LaggedFibonacci*>(d.Generator.get()), nullptr);
    LaggedFibonacci::ResetReadPosition();
    EXPECT_EQ(d.Generator->rnd(), expected);
  }
}

TEST_F(UserDistributionsTest, ProgramWideObjectIsSeededBeforeMain) {
  ASSERT_EQ(TheDistribution, &TheGenerator);
  ASSERT_NE(dynamic_cast<LaggedFibonacci*>(TheGenerator.Generator.get()),
            nullptr);
  // Its buffer was filled during static initialisation; no test here draws
  // a whole block from it, so the first entry is still there.
  const double expected = FirstLaggedFibonacci(31415);
  EXPECT_EQ(TheDistribution->Generator->rnd(), expected);
}

}  // namespace
