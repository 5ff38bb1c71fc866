#include "solve/InitialDistribution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "solve/Absorption.h"
#include "solve/Transient.h"
#include "tests/solve/ChainBuilder.h"

namespace {

TEST(InitialDistributionTest, ReadsTheStatesInOrderAndRefusesTheRest) {
  std::vector<double> probabilities;
  ASSERT_TRUE(ParseInitialDistribution("init 1\n1\t0.25\n2\t0.75\n", "f.init",
                                       3, &probabilities)
                  .ok);
  EXPECT_EQ(probabilities, (std::vector<double>{0.25, 0.75}));
  // Thirds as %.17g write them: rounded, yet within the tolerance of 1.
  ASSERT_TRUE(ParseInitialDistribution(
                  "init 1\n1\t0.33333333333333331\n2\t0.33333333333333331\n"
                  "3\t0.33333333333333331\n",
                  "f.init", 3, &probabilities)
                  .ok);

  struct Row {
    const char* text;
    const char* message;
  };
  const std::vector<Row> rows = {
      {"", "f.init:1: the file is empty"},
      {"init 2\n1\t1\n", "f.init:1: expected \"init 1\""},
      {"init 1\n", "f.init: the probabilities add up to 0, not 1"},
      {"init 1\n1\t0.5\n", "add up to 0.5, not 1"},
      {"init 1\n1\t0.5\n2\t0.5", "f.init:3: the last line does not end"},
      {"init 1\n2\t0.5\n1\t0.5\n", "f.init:2: expected state 1, a TAB"},
      {"init 1\n1 0.5\n2\t0.5\n", "f.init:2: expected state 1, a TAB"},
      {"init 1\n1\t0.5\n2\t0.25\n3\t0.125\n4\t0.125\n",
       "f.init:5: state 4 is outside the chain's 1..3"},
      {"init 1\n1\t0\n2\t1\n", "probability of state 1 is not a number in"},
      {"init 1\n1\t1.5\n2\t-0.5\n", "probability of state 1 is not a number"},
      {"init 1\n1\tnan\n", "probability of state 1 is not a number"},
      {"init 1\n1\t1x\n", "probability of state 1 is not a number"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Status status =
        ParseInitialDistribution(row.text, "f.init", 3, &probabilities);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find(row.message), std::string::npos)
        << status.message;
  }
}

// Up at rate 1, down at rate 3, started with 1/4 up and 3/4 down: the
// probability of "down" is 1/4 + e^-4t / 2 at every t, through the series
// and through dense squaring alike.
TEST(InitialDistributionTest, TransientMeasuresStartFromTheDistribution) {
  const StateSpace space = Chain(2, {{1, 2, 1.0}, {2, 1, 3.0}});
  const std::vector<double> down = {0, 1};
  const std::vector<double> start = StartVector(2, {0.25, 0.75});
  TransientOptions options;
  options.initial = &start;
  for (const double dense_from : {1e9, 0.0}) {
    SCOPED_TRACE(dense_from);
    options.dense_from_steps = dense_from;
    const std::vector<double> times = {0, 0.5, 3};
    const TransientResult result =
        SolveTransient(space, times, {&down}, {&down}, options);
    ASSERT_TRUE(result.ok) << result.message;
    for (std::size_t i = 0; i < times.size(); ++i) {
      const double t = times[i];
      SCOPED_TRACE(t);
      const double instant = 0.25 + std::exp(-4 * t) / 2;
      const double accumulated = t / 4 - std::expm1(-4 * t) / 8;
      const TransientPoint& point = result.points[i];
      EXPECT_NEAR(point.instant[0], instant, point.instant_bound[0] + 1e-13);
      EXPECT_NEAR(point.accumulated[0], accumulated,
                  point.accumulated_bound[0] + 1e-13);
    }
  }
}

// 1 -> 3 at rate 2, 2 and 3 absorbing, started with 1/4 in 1 and 3/4 in 2:
// the limit puts 3/4 on state 2 and 1/4 on state 3; the chain is absorbed
// after 1/4 * 1/2 on average, and earns 1/8 of state 1's reward.
TEST(InitialDistributionTest, LongRunAndAbsorptionFromTheDistribution) {
  const StateSpace space = Chain(3, {{1, 3, 2.0}});
  const std::vector<double> in_first = {1, 0, 0};
  const std::vector<std::vector<double>> rewards = {in_first};
  SolveOptions options;
  options.rewards = &rewards;
  const StationaryResult result =
      SolveLongRunFrom(space, {0.25, 0.75}, options);
  ASSERT_TRUE(result.ok) << result.message;
  ASSERT_EQ(result.pi.size(), 3u);
  EXPECT_NEAR(result.pi[0], 0, 1e-15);
  EXPECT_NEAR(result.pi[1], 0.75, 1e-14);
  EXPECT_NEAR(result.pi[2], 0.25, 1e-14);
  EXPECT_EQ(result.num_transient, 1u);
  ASSERT_EQ(result.bottoms.size(), 2u);
  EXPECT_EQ(result.bottoms[0].first_state + result.bottoms[1].first_state, 3u);
  const AbsorptionMeasures absorption = ComputeAbsorption(result, {&in_first});
  ASSERT_TRUE(absorption.defined) << absorption.why_not;
  EXPECT_NEAR(absorption.time, 0.125, absorption.time_bound + 1e-14);
  EXPECT_NEAR(absorption.reward[0], 0.125, absorption.reward_bound[0] + 1e-14);
}

}  // namespace
