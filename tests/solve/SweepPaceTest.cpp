#include "solve/SweepPace.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace {

constexpr double kGoal = 1e-6;
constexpr std::size_t kLimit = 80000;  // four times a budget of 20,000

// The residual's norm after each sweep, relative to the first, interpolated
// geometrically between (sweep, norm) points.
double NormAt(const std::vector<std::pair<double, double>>& points,
              std::size_t sweep) {
  const double s = static_cast<double>(sweep);
  for (std::size_t i = 1; i < points.size(); ++i) {
    if (s <= points[i].first) {
      const auto& [s0, n0] = points[i - 1];
      const auto& [s1, n1] = points[i];
      return n0 * std::pow(n1 / n0, (s - s0) / (s1 - s0));
    }
  }
  return points.back().second;
}

// The sweep at which the pace gives up, or 0 when it lets the sweeps go on
// until the goal is met or `last` is passed.
std::size_t GivesUpAt(const std::vector<std::pair<double, double>>& points,
                      std::size_t last) {
  SweepPace pace(1.0, kGoal, kLimit);
  for (std::size_t sweep = 1; sweep <= last; ++sweep) {
    const double norm = NormAt(points, sweep);
    if (norm <= kGoal) return 0;
    if (!pace.GoOn(sweep, norm)) return sweep;
  }
  return 0;
}

TEST(SweepPaceTest, GoesOnThroughARiseOfTheResidual) {
  // As measured on a tandem queue of 500 x 500 levels: the norm rises for
  // 800 sweeps and is back at its low only after 1,650.
  const std::vector<std::pair<double, double>> tandem = {
      {1, 1.0},       {100, 2.6e-2},  {200, 2.9e-3},  {1000, 6.3e-3},
      {2000, 2.2e-3}, {3000, 4.1e-5}, {3400, 1.3e-6}, {3500, 5e-7}};
  EXPECT_EQ(GivesUpAt(tandem, 3500), 0u);
}

TEST(SweepPaceTest, GoesOnWhereTheFallQuickens) {
  // A slow start, then a steady tenfold fall every 100 sweeps.
  const std::vector<std::pair<double, double>> quickening = {
      {1, 1.0}, {100, 0.9}, {1000, 0.5}, {1600, 5e-7}};
  EXPECT_EQ(GivesUpAt(quickening, 1600), 0u);
}

TEST(SweepPaceTest, GivesUpOnACrawlAndOnAStall) {
  // A hundredth per 100 sweeps needs 137,000 sweeps: given up at once.
  EXPECT_EQ(GivesUpAt({{1, 1.0}, {100, 0.99}, {20000, 0.1}}, 20000), 100u);
  // Halved at once, then flat: the overall pace needs 19 sweeps per sweep
  // done, so the sweeps stop near 80,000 / 20 = 4,000, well past the
  // tandem's rise above and well before the budget.
  const std::size_t stall =
      GivesUpAt({{1, 1.0}, {100, 0.5}, {20000, 0.5}}, 20000);
  EXPECT_GE(stall, 3000u);
  EXPECT_LE(stall, 5000u);
}

TEST(SweepPaceTest, GivesUpOnANormThatIsNotFinite) {
  SweepPace pace(1.0, kGoal, kLimit);
  EXPECT_TRUE(pace.GoOn(1, 0.5));
  EXPECT_FALSE(pace.GoOn(2, std::numeric_limits<double>::quiet_NaN()));
  SweepPace other(1.0, kGoal, kLimit);
  EXPECT_FALSE(other.GoOn(1, std::numeric_limits<double>::infinity()));
}

// The polishing rule: every halving restarts the count; a measure that
// falls by less than half, rises, or is NaN for `patience` sweeps ends it.
TEST(SweepPatienceTest, GivesUpAfterPatienceSweepsWithoutAHalving) {
  SweepPatience patience(200);
  EXPECT_TRUE(patience.GoOn(10, 1.0));
  EXPECT_TRUE(patience.GoOn(20, 0.4));  // halved at 20
  EXPECT_TRUE(patience.GoOn(210, 0.3));
  EXPECT_FALSE(patience.GoOn(220, 0.25));  // 200 sweeps since
  SweepPatience restarted(200);
  EXPECT_TRUE(restarted.GoOn(10, 1.0));
  EXPECT_TRUE(restarted.GoOn(200, 0.9));
  EXPECT_TRUE(restarted.GoOn(205, 0.5));  // halved: counts from 205
  EXPECT_TRUE(restarted.GoOn(400, 0.5));
  EXPECT_FALSE(restarted.GoOn(405, 0.4));
  SweepPatience nan(200);
  EXPECT_TRUE(nan.GoOn(10, 1.0));
  EXPECT_TRUE(nan.GoOn(20, std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(nan.GoOn(210, std::numeric_limits<double>::quiet_NaN()));
}

}  // namespace
