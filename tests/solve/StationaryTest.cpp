#include "solve/Stationary.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "gtest/gtest.h"
#include "solve/ChainFiles.h"
#include "solve/ChainSystem.h"
#include "solve/ScaledSystem.h"
#include "solve/SolveMethods.h"
#include "solve/TwoWayPool.h"
#include "tests/solve/ChainBuilder.h"
#include "tests/support/RunProcess.h"

namespace {

const std::vector<SolveMethod> kMethods = {
    SolveMethod::kDirect, SolveMethod::kGth, SolveMethod::kBiCgStab,
    SolveMethod::kGmres, SolveMethod::kGaussSeidel};

StationaryResult Solve(const StateSpace& space, SolveMethod method,
                       double accuracy = SolveOptions().accuracy) {
  SolveOptions options;
  options.method = method;
  options.accuracy = accuracy;
  return SolveLongRun(space, options);
}

void ExpectRelativelyNear(double actual, double expected, double tolerance) {
  EXPECT_LE(std::abs(actual - expected), tolerance * std::abs(expected))
      << "actual " << actual << ", expected " << expected;
}

// The stationary distribution of an irreducible chain by the
// Grassmann-Taksar-Heyman elimination on a dense matrix: no subtraction, so
// every probability comes out to nearly full relative precision however
// widely the rates spread.
std::vector<double> DenseGth(const StateSpace& space) {
  const std::size_t n = space.num_states;
  std::vector<std::vector<double>> a(n, std::vector<double>(n, 0.0));
  for (std::size_t s = 0; s < n; ++s) {
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      a[s][space.target[e]] += space.rate[e];
    }
  }
  for (std::size_t k = n - 1; k > 0; --k) {
    double exit = 0;
    for (std::size_t j = 0; j < k; ++j) exit += a[k][j];
    for (std::size_t i = 0; i < k; ++i) a[i][k] /= exit;
    for (std::size_t i = 0; i < k; ++i) {
      for (std::size_t j = 0; j < k; ++j) {
        if (i != j) a[i][j] += a[i][k] * a[k][j];
      }
    }
  }
  std::vector<double> pi(n, 0.0);
  pi[0] = 1;
  double total = 1;
  for (std::size_t j = 1; j < n; ++j) {
    for (std::size_t i = 0; i < j; ++i) pi[j] += pi[i] * a[i][j];
    total += pi[j];
  }
  for (double& p : pi) p /= total;
  return pi;
}

TEST(StationaryTest, TwoStatesAcrossTenOrdersOfMagnitude) {
  const std::vector<std::pair<double, double>> cases = {
      {1, 1}, {1e-6, 1e4}, {1e4, 1e-6}, {3, 0.25}};
  for (const auto& [up, down] : cases) {
    for (SolveMethod method : kMethods) {
      SCOPED_TRACE(std::to_string(up) + " " + std::to_string(down) + " " +
                   SolveMethodName(method));
      const StationaryResult result =
          Solve(Chain(2, {{1, 2, up}, {2, 1, down}}), method);
      ASSERT_TRUE(result.ok) << result.message;
      EXPECT_TRUE(result.irreducible);
      ExpectRelativelyNear(result.pi[0], down / (up + down), 1e-14);
      ExpectRelativelyNear(result.pi[1], up / (up + down), 1e-14);
      EXPECT_LT(result.relative_residual, 1e-15);
    }
  }
}

TEST(StationaryTest, BirthDeathChainMatchesTheClosedForm) {
  // pi_k is proportional to (birth / death)^k: here 30 states spanning 110
  // orders of magnitude, each of which must come out to full precision.
  constexpr std::uint32_t kStates = 30;
  const double birth = 2e-2;
  const double death = 1e2;
  std::vector<Rate> rates;
  for (std::uint32_t s = 1; s < kStates; ++s) {
    rates.push_back({s, s + 1, birth});
    rates.push_back({s + 1, s, death});
  }
  const StateSpace space = Chain(kStates, rates);
  const double ratio = birth / death;
  const double total = (1 - std::pow(ratio, kStates)) / (1 - ratio);
  for (SolveMethod method : kMethods) {
    SCOPED_TRACE(SolveMethodName(method));
    const StationaryResult result = Solve(space, method);
    ASSERT_TRUE(result.ok) << result.message;
    for (std::uint32_t k = 0; k < kStates; ++k) {
      SCOPED_TRACE(k);
      ExpectRelativelyNear(result.pi[k], std::pow(ratio, k) / total, 1e-12);
    }
  }
}

TEST(StationaryTest, ReducibleChainEndsInItsClosedClasses) {
  // 1 leaves to the absorbing 2 (rate 1) or to the closed pair {3, 4}
  // (rate 3); 5 is never reached from 1.
  const StateSpace space =
      Chain(5, {{1, 2, 1}, {1, 3, 3}, {3, 4, 1}, {4, 3, 2}, {5, 1, 1}});
  for (SolveMethod method : kMethods) {
    SCOPED_TRACE(SolveMethodName(method));
    const StationaryResult result = Solve(space, method);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_FALSE(result.irreducible);
    EXPECT_EQ(result.num_unreachable, 1u);
    EXPECT_EQ(result.num_transient, 1u);
    ASSERT_EQ(result.bottoms.size(), 2u);
    EXPECT_EQ(result.bottoms[0].first_state, 1u);
    EXPECT_EQ(result.bottoms[1].first_state, 2u);
    EXPECT_EQ(result.bottoms[1].size, 2u);
    const std::vector<double> expected = {0, 0.25, 0.5, 0.25, 0};
    for (std::size_t s = 0; s < expected.size(); ++s) {
      EXPECT_NEAR(result.pi[s], expected[s], 1e-15) << s;
    }
  }
}

TEST(StationaryTest, SharesOfAStartThatLeavesStraightIntoClassesAreBounded) {
  // State 1 leaves at once into absorbing states: no unknowns, the shares
  // are the rates over their sum, rounded. Each row: the rates and the
  // exact shares as numerator over denominator.
  struct Row {
    std::vector<double> rates;
    std::vector<double> numerator;
    double denominator;
  };
  const std::vector<Row> rows = {
      {{1, 1, 1}, {1, 1, 1}, 3},
      {{3, 7}, {3, 7}, 10},
      {{0.5, 0.25, 0.125, 2}, {4, 2, 1, 16}, 23},
  };
  for (const Row& row : rows) {
    std::vector<Rate> rates;
    for (std::size_t k = 0; k < row.rates.size(); ++k) {
      rates.push_back({1, static_cast<std::uint32_t>(k + 2), row.rates[k]});
    }
    const StateSpace space =
        Chain(static_cast<std::uint32_t>(row.rates.size() + 1), rates);
    const std::vector<double> reward(space.num_states, 1.0);
    const std::vector<std::vector<double>> rewards = {reward};
    for (const bool sharp : {false, true}) {
      SCOPED_TRACE(sharp ? "with the sharp bounds" : "norm bound alone");
      SolveOptions options;
      if (sharp) options.rewards = &rewards;
      const StationaryResult result = SolveLongRun(space, options);
      ASSERT_TRUE(result.ok) << result.message;
      ASSERT_EQ(result.bottoms.size(), row.rates.size());
      for (std::size_t k = 0; k < row.rates.size(); ++k) {
        const double p = result.bottoms[k].probability;
        const std::size_t target = result.bottoms[k].first_state - 1;
        // p - a / b = (p b - a) / b, the numerator exact by the FMA.
        const double error =
            std::abs(std::fma(p, row.denominator, -row.numerator[target])) /
            row.denominator;
        double bound = result.probability_error;
        if (k < result.class_probability_error.size()) {
          bound = std::min(bound, result.class_probability_error[k]);
        }
        EXPECT_LE(error, bound) << "class " << k << ": " << p;
      }
    }
  }
}

TEST(StationaryTest, RareAbsorptionAfterManyReturnsStaysAccurate) {
  // From 1 the chain goes to 2 and nearly always straight back; it ends in
  // 3 (via 2) or in 4 (from 1) only after about 1e6 time units.
  const StateSpace space =
      Chain(4, {{1, 2, 1}, {2, 1, 1e4}, {2, 3, 1e-6}, {1, 4, 1e-6}});
  const double to_three = 1 / (1 + 1e4 + 1e-6);
  for (SolveMethod method : kMethods) {
    SCOPED_TRACE(SolveMethodName(method));
    const StationaryResult result = Solve(space, method);
    ASSERT_TRUE(result.ok) << result.message;
    ExpectRelativelyNear(result.pi[2], to_three, 1e-13);
    ExpectRelativelyNear(result.pi[3], 1 - to_three, 1e-13);
    EXPECT_LT(result.absorption_defect, 1e-14);
  }
}

TEST(StationaryTest, AbsorbingStartStaysPut) {
  const StationaryResult result =
      Solve(Chain(2, {{2, 1, 1}}), SolveMethod::kAuto);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.pi, (std::vector<double>{1, 0}));
  EXPECT_EQ(result.num_unreachable, 1u);
}

TEST(StationaryTest, AutoTakesTheFirstMethodThatFits) {
  const StateSpace space =
      Chain(3, {{1, 2, 1}, {2, 3, 1}, {3, 1, 1}, {3, 2, 1}});
  SolveOptions options;
  options.direct_limit = 1;
  options.gth_limit = 1;
  const StationaryResult result = SolveLongRun(space, options);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.method, SolveMethod::kBiCgStab);
  options.direct_limit = 2;
  EXPECT_EQ(SolveLongRun(space, options).method, SolveMethod::kDirect);
  options.gth_limit = 2;
  EXPECT_EQ(SolveLongRun(space, options).method, SolveMethod::kGth);
}

// Where BiCGSTAB fails (here for want of iterations) on a system beyond
// --direct-limit, auto gives the sparse LU its place in the table when its
// factors promise to be cheap, before the other iterations; where they do
// not, it tries the LU as the last resort, once every other method has
// failed. Either way it solves the chain: two independent queues of 40
// levels (service 1), whose distribution is a product of truncated
// geometric ones; with arrivals 1/2 and 2/5 the far corner lies 1e-27
// below the empty state, and with 0.95 and 0.9 GMRES fails too. The bounds
// of an LU's solution are solved through an LU as well: with no iterations
// to spare, the mean total level's and the corner's must still hold and
// meet the accuracy.
TEST(StationaryTest, AutoTriesTheLuBeyondItsLimit) {
  constexpr std::uint32_t kLevels = 40;
  for (const bool cheap : {true, false}) {
    SCOPED_TRACE(cheap ? "in the table" : "as the last resort");
    const double births[] = {cheap ? 0.5 : 0.95, cheap ? 0.4 : 0.9};
    const StateSpace space = TwoQueues(kLevels, births[0], births[1]);
    const std::uint32_t n = space.num_states;
    std::vector<std::vector<double>> rewards(2, std::vector<double>(n, 0.0));
    for (std::uint32_t s = 0; s < n; ++s) {
      rewards[0][s] = s / kLevels + s % kLevels;
    }
    rewards[1][n - 1] = 1;
    double exact[2] = {0, 1};
    for (int q = 0; q < 2; ++q) {
      double total = 0;
      double moment = 0;
      for (std::uint32_t level = 0; level < kLevels; ++level) {
        total += std::pow(births[q], level);
        moment += level * std::pow(births[q], level);
      }
      exact[0] += moment / total;
      exact[1] *= std::pow(births[q], kLevels - 1) / total;
    }
    SolveOptions options;
    options.direct_limit = 10;
    options.gth_limit = 10;
    options.max_iterations = 2;
    options.rewards = &rewards;
    if (!cheap) options.cheap_lu_entries = 0;
    const StationaryResult result = SolveLongRun(space, options);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.method, SolveMethod::kDirect) << result.message;
    ASSERT_FALSE(result.methods_tried.empty());
    EXPECT_EQ(result.methods_tried.back(), "direct");
    const bool swept =
        std::find(result.methods_tried.begin(), result.methods_tried.end(),
                  "gauss-seidel") != result.methods_tried.end();
    EXPECT_EQ(swept, !cheap);
    ASSERT_EQ(result.reward_error.size(), 2u);
    for (int v = 0; v < 2; ++v) {
      double value = 0;
      for (std::uint32_t s = 0; s < n; ++s) {
        value += result.pi[s] * rewards[v][s];
      }
      const double bound =
          std::min(result.reward_error[v],
                   ExpectedRewardBound(result.pi_error, value, rewards[v]));
      EXPECT_LE(std::abs(value - exact[v]), bound) << "reward " << v;
      EXPECT_LE(bound, 1e-6 * exact[v]) << "reward " << v;
    }
  }
}

// The cost of a sparse LU told from B's pattern alone: a queue of two
// dimensions passes a generous limit and fails one below the factor's
// size, which is at least one entry per unknown but the last.
TEST(StationaryTest, SparseLuCostIsToldFromThePattern) {
  const StateSpace space = TwoQueues(30, 0.9, 0.8);
  std::vector<std::uint32_t> local(space.num_states, kNotInSystem);
  ScaledSystem system;
  for (std::uint32_t s = 1; s < space.num_states; ++s) {
    local[s] = s - 1;
    system.states.push_back(s);
  }
  std::vector<double> exit(space.num_states, 0.0);
  for (std::uint32_t s = 0; s < space.num_states; ++s) {
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      exit[s] += space.rate[e];
    }
  }
  ASSERT_TRUE(BuildSystem(space, exit, local, &system));
  EXPECT_TRUE(SparseLuLooksCheap(system.b, 1e6, 1e9));
  EXPECT_FALSE(SparseLuLooksCheap(system.b, 800, 1e9));
  EXPECT_FALSE(SparseLuLooksCheap(system.b, 1e6, 100));
}

struct GeneratedChain {
  StateSpace space;
  RewardValues values;
};

// Runs the built gen for experiment `experiment` with extra arguments and
// reads what it wrote.
GeneratedChain Generate(const ScopedTempDir& dir, int experiment,
                        const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {"-P" + dir.path() + "/", "-Nrun",
                                   "-B" + std::to_string(experiment)};
  args.insert(args.end(), extra.begin(), extra.end());
  const ProcessResult run = RunProcess(GEN_BINARY, args, dir.path());
  EXPECT_EQ(run.exit_code, 0) << run.err;
  GeneratedChain chain;
  const std::string base = dir.path() + "/run";
  std::vector<RewardVariable> variables;
  EXPECT_TRUE(ReadStateSpace(base + ".arm", &chain.space).ok);
  EXPECT_TRUE(ReadRewardTypes(base + ".pvtype", &variables).ok);
  std::vector<std::string> names;
  for (const RewardVariable& v : variables) names.push_back(v.name);
  EXPECT_EQ(names.size(), 3u);
  EXPECT_TRUE(ReadRewardValues(base + ".var", names, chain.space.num_states,
                               true, &chain.values)
                  .ok);
  return chain;
}

TEST(StationaryTest, EveryExperimentAgreesWithADenseSolution) {
  ScopedTempDir dir;
  for (int experiment = 0; experiment <= 9; ++experiment) {
    const GeneratedChain chain = Generate(dir, experiment);
    ASSERT_EQ(chain.space.num_states, 25u);
    const std::vector<double> dense = DenseGth(chain.space);
    for (SolveMethod method : kMethods) {
      SCOPED_TRACE("experiment " + std::to_string(experiment) + ", " +
                   SolveMethodName(method));
      // Asked for the accuracy the values are compared at: by default the
      // iteration stops once its bound is within 1e-6.
      const StationaryResult result = Solve(chain.space, method, 1e-10);
      ASSERT_TRUE(result.ok) << result.message;
      EXPECT_TRUE(result.irreducible);
      EXPECT_LT(result.relative_residual, 1e-15);
      for (std::size_t v = 0; v < 3; ++v) {
        const double expected = ExpectedReward(dense, chain.values.rate[v]);
        ASSERT_GT(expected, 0);
        const double value = ExpectedReward(result.pi, chain.values.rate[v]);
        // BiCGSTAB stops on a componentwise backward error of 1e-13; where
        // the rewards sit on states visited 1e-9 as often as the reference,
        // that leaves errors of about 1e-7 relative, which its bound
        // (below) covers: the default accuracy is what it must meet.
        ExpectRelativelyNear(value, expected,
                             method == SolveMethod::kBiCgStab ? 1e-6 : 1e-9);
        // The stated bound covers the true error (GTH is good to a few
        // units of rounding).
        EXPECT_LE(
            std::abs(value - expected),
            ExpectedRewardBound(result.pi_error, value, chain.values.rate[v]) +
                1e-14 * expected);
      }
    }
  }
}

TEST(StationaryTest, WithoutRestoreEveryRunEndsFailed) {
  ScopedTempDir dir;
  const GeneratedChain chain =
      Generate(dir, 0, {"-O", "d:safe_restore_rate_G:0"});
  std::vector<double> catastrophic;
  for (SolveMethod method : kMethods) {
    SCOPED_TRACE(SolveMethodName(method));
    const StationaryResult result = Solve(chain.space, method);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_FALSE(result.irreducible);
    EXPECT_GE(result.bottoms.size(), 2u);
    const double failed = ExpectedReward(result.pi, chain.values.rate[0]);
    const double bad = ExpectedReward(result.pi, chain.values.rate[1]);
    const double safe = ExpectedReward(result.pi, chain.values.rate[2]);
    EXPECT_NEAR(failed, 1, 1e-14);
    EXPECT_NEAR(bad + safe, 1, 1e-14);
    catastrophic.push_back(bad);
  }
  for (double bad : catastrophic) {
    ExpectRelativelyNear(bad, catastrophic.front(), 1e-10);
  }
}

// A chain of 70,000 states, past the size where the iteration's work is
// cut in two: a ring through every state plus two random jumps of at most
// 2,000 states from each (few cross the preconditioner's cut, so it is cut),
// rates over two decades. The same bytes on one thread and two, the
// bounds of a reward and the residual included, and within the stated
// bounds of the undivided iteration's answer.
TEST(StationaryTest, TwoThreadsGiveTheBytesOfOne) {
  constexpr std::uint32_t kStates = 70000;
  constexpr std::uint32_t kReach = 2000;
  std::mt19937 random(7);
  std::uniform_int_distribution<std::uint32_t> jump(kStates - kReach,
                                                    kStates + kReach);
  std::uniform_real_distribution<double> exponent(-1, 1);
  const StateSpace space = LargeChain(
      kStates,
      [&](std::uint32_t s) {
        return std::vector<std::uint32_t>{(s + 1) % kStates,
                                          (s + jump(random)) % kStates,
                                          (s + jump(random)) % kStates};
      },
      [&](std::uint32_t, std::uint32_t) {
        return std::pow(10.0, exponent(random));
      });
  ASSERT_GE(space.num_states - 1, kMinSplit);
  TwoWayPool one(1);
  TwoWayPool two(2);
  {
    std::vector<double> exit(kStates, 0.0);
    std::vector<std::uint32_t> others;
    for (std::uint32_t s = 0; s < kStates; ++s) {
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        exit[s] += space.rate[e];
      }
      if (s > 0) others.push_back(s);
    }
    const std::vector<std::uint32_t> no_table;
    const ChainOperator system(space, exit, others, no_table);
    ASSERT_LT(ChainGaussSeidel(system, &one).middle(), others.size());
  }
  // A reward earned in one state of 5,000: its value is too small for the
  // 1-norm bound, so the bound solve's analysis bounds it.
  std::vector<std::vector<double>> rewards(1);
  for (std::uint32_t s = 0; s < kStates; ++s) {
    rewards[0].push_back(s % 5000 == 0 ? 1.0 : 0.0);
  }
  auto solve = [&](TwoWayPool* pool) {
    SolveOptions options;
    options.method = SolveMethod::kBiCgStab;
    options.pool = pool;
    options.rewards = &rewards;
    return SolveLongRun(space, options);
  };
  const StationaryResult undivided = solve(nullptr);
  ASSERT_TRUE(undivided.ok) << undivided.message;
  const StationaryResult on_one = solve(&one);
  const StationaryResult on_two = solve(&two);
  ASSERT_TRUE(on_one.ok) << on_one.message;
  ASSERT_TRUE(on_two.ok) << on_two.message;
  EXPECT_EQ(on_two.iterations, on_one.iterations);
  EXPECT_EQ(on_two.pi_error, on_one.pi_error);
  EXPECT_EQ(on_two.residual, on_one.residual);
  ASSERT_EQ(on_one.reward_error.size(), 1u);
  EXPECT_EQ(on_two.reward_error, on_one.reward_error);
  EXPECT_LE(on_one.reward_error[0], 1e-6);
  EXPECT_LE(on_one.residual, 1e-9);
  ASSERT_EQ(on_two.pi.size(), on_one.pi.size());
  double apart = 0;
  for (std::size_t s = 0; s < on_one.pi.size(); ++s) {
    ASSERT_EQ(on_two.pi[s], on_one.pi[s]) << "state " << s;
    apart += std::abs(on_one.pi[s] - undivided.pi[s]);
  }
  EXPECT_LE(on_one.pi_error, 1e-6);
  EXPECT_LE(apart, on_one.pi_error + undivided.pi_error);
}

}  // namespace
