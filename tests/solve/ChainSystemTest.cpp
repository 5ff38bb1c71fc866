#include "solve/ChainSystem.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "solve/ScaledSystem.h"
#include "solve/TwoWayPool.h"
#include "tests/solve/ChainBuilder.h"

namespace {

std::vector<double> ExitRates(const StateSpace& space) {
  std::vector<double> exit(space.num_states, 0.0);
  for (std::size_t s = 0; s < space.num_states; ++s) {
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      exit[s] += space.rate[e];
    }
  }
  return exit;
}

// B = (-Q_SS)^T D^-1 over S = every state but `left_out`, written out
// densely from the rates: B[j][i] = -q(s_i, s_j) / exit(s_i), 1 on the
// diagonal.
Eigen::MatrixXd DenseSystem(const StateSpace& space,
                            const std::vector<double>& exit,
                            std::uint32_t left_out) {
  const auto n = static_cast<Eigen::Index>(space.num_states - 1);
  auto local = [&](std::uint32_t s) {
    return static_cast<Eigen::Index>(s < left_out ? s : s - 1);
  };
  Eigen::MatrixXd b = Eigen::MatrixXd::Identity(n, n);
  for (std::uint32_t s = 0; s < space.num_states; ++s) {
    if (s == left_out) continue;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      const std::uint32_t t = space.target[e];
      if (t == left_out) continue;
      b(local(t), local(s)) -= space.rate[e] / exit[s];
    }
  }
  return b;
}

// An irreducible chain of n states in which every state jumps to `degree`
// random others (a ring among them), each transition with a random rate
// spread over `decades` orders of magnitude: with enough transitions the
// rates outgrow the 1-byte and then the 2-byte codes, and with few per
// state most cross the middle.
StateSpace RandomLargeChain(std::uint32_t n, std::uint32_t degree,
                            unsigned seed, double decades) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::uint32_t> state(0, n - 1);
  std::uniform_real_distribution<double> exponent(-decades / 2, decades / 2);
  return LargeChain(
      n,
      [&](std::uint32_t s) {
        std::vector<std::uint32_t> to{(s + 1) % n};
        while (to.size() < degree) to.push_back(state(random));
        return to;
      },
      [&](std::uint32_t, std::uint32_t) {
        return std::pow(10.0, exponent(random));
      });
}

// The system of a chain without its first, a middle or its last state,
// where local numbers come from a rule rather than a table (and global
// ones from the list of states, or from the same rule): B, B^T and the
// symmetric Gauss-Seidel ((I + L)(I + U))^T of B^T = I + L + U against the
// dense matrices, with the rates held in each of their three forms.
TEST(ChainSystemTest, EveryStateButOneAgainstTheDenseSystem) {
  const StateSpace chains[] = {RandomChain(9, 7, 3),
                               RandomLargeChain(60, 25, 5, 6),
                               RandomLargeChain(400, 300, 9, 6)};
  ASSERT_EQ(chains[0].rate.form(), TransitionRates::Form::kByteCodes);
  ASSERT_EQ(chains[1].rate.form(), TransitionRates::Form::kCodes);
  ASSERT_EQ(chains[2].rate.form(), TransitionRates::Form::kWide);
  for (const StateSpace& space : chains) {
    const std::uint32_t last = static_cast<std::uint32_t>(space.num_states - 1);
    const auto n = static_cast<Eigen::Index>(last);
    SCOPED_TRACE(std::to_string(space.num_states) + " states");
    const std::vector<double> exit = ExitRates(space);
    for (std::uint32_t left_out : {0u, last / 2, last}) {
      SCOPED_TRACE("without state " + std::to_string(left_out));
      std::vector<std::uint32_t> states;
      for (std::uint32_t s = 0; s < space.num_states; ++s) {
        if (s != left_out) states.push_back(s);
      }
      const std::vector<std::uint32_t> no_table;
      const ChainOperator system(space, exit, states, no_table);
      // Told the state left out instead of given the list: the same numbers.
      const ChainOperator by_rule(space, exit, left_out);
      ASSERT_EQ(by_rule.size(), states.size());
      for (std::uint32_t s = 0; s < space.num_states; ++s) {
        EXPECT_EQ(system.local(s), s == left_out  ? kOutsideSystem
                                   : s < left_out ? s
                                                  : s - 1);
        EXPECT_EQ(by_rule.local(s), system.local(s));
      }
      for (std::size_t i = 0; i < states.size(); ++i) {
        EXPECT_EQ(by_rule.global(i), states[i]);
      }
      const Eigen::MatrixXd b = DenseSystem(space, exit, left_out);
      const Eigen::MatrixXd bt = b.transpose();
      const Eigen::MatrixXd lower = bt.triangularView<Eigen::StrictlyLower>();
      const Eigen::MatrixXd upper = bt.triangularView<Eigen::StrictlyUpper>();
      const Eigen::MatrixXd identity = Eigen::MatrixXd::Identity(n, n);
      const Eigen::MatrixXd m = ((identity + lower) * (identity + upper));
      const ChainGaussSeidel preconditioner(system);
      Eigen::VectorXd x(n);
      for (Eigen::Index i = 0; i < n; ++i) {
        x[i] = 1.0 + 0.37 * static_cast<double>(i % 9) -
               0.05 * static_cast<double>(i % 5);
      }
      for (bool transposed : {false, true}) {
        SCOPED_TRACE(transposed ? "transposed" : "plain");
        Eigen::VectorXd y(n);
        system.Apply(transposed, x, &y);
        const Eigen::VectorXd want = transposed ? bt * x : b * x;
        EXPECT_LE((y - want).cwiseAbs().maxCoeff(), 1e-13 * want.norm());
        Eigen::VectorXd solved = x;
        preconditioner.Apply(transposed, &solved);
        const Eigen::MatrixXd applied = transposed ? m : m.transpose();
        EXPECT_LE((applied * solved - x).cwiseAbs().maxCoeff(),
                  1e-12 * x.norm());
        // The solve and the product at once: the same y, and v = B y.
        Eigen::VectorXd both = x;
        Eigen::VectorXd product(n);
        preconditioner.ApplyThenMultiply(system, transposed, &both, &product);
        const Eigen::VectorXd want_y = applied.lu().solve(x);
        EXPECT_LE((both - want_y).cwiseAbs().maxCoeff(), 1e-12 * want_y.norm());
        const Eigen::VectorXd want_v = (transposed ? bt : b) * want_y;
        EXPECT_LE((product - want_v).cwiseAbs().maxCoeff(),
                  1e-12 * want_v.norm());
      }
      // |c - B z| and |c| + |B| |z| row by row.
      Eigen::VectorXd residual(n);
      Eigen::VectorXd scale(n);
      system.Residual(x, x, &residual, &scale);
      const Eigen::VectorXd want_residual = (x - b * x).cwiseAbs();
      const Eigen::VectorXd want_scale =
          x.cwiseAbs() + b.cwiseAbs() * x.cwiseAbs();
      EXPECT_LE((residual - want_residual).cwiseAbs().maxCoeff(),
                1e-13 * want_scale.maxCoeff());
      EXPECT_LE((scale - want_scale).cwiseAbs().maxCoeff(),
                1e-13 * want_scale.maxCoeff());
    }
  }
}

// A class with states outside it, numbered through a table, and a vector
// spanning 60 orders of magnitude: the shared sweep pair gives the same y
// and B y as the solve and the product (checked above against the dense
// matrices), entry by entry to a few roundings of |B| |y|.
TEST(ChainSystemTest, SharedSweepsMatchTheSolveAndTheProduct) {
  const StateSpace space = RandomChain(40, 11, 8);
  const std::vector<double> exit = ExitRates(space);
  std::vector<std::uint32_t> states;
  std::vector<std::uint32_t> local(space.num_states, kOutsideSystem);
  for (std::uint32_t s = 0; s < space.num_states; ++s) {
    if (s % 7 == 3) continue;
    local[s] = static_cast<std::uint32_t>(states.size());
    states.push_back(s);
  }
  const ChainOperator system(space, exit, states, local);
  const ChainGaussSeidel preconditioner(system);
  const auto n = static_cast<Eigen::Index>(states.size());
  Eigen::VectorXd x(n);
  for (Eigen::Index i = 0; i < n; ++i) {
    x[i] = std::pow(10.0, static_cast<double>((i * 37) % 61) - 30) *
           (i % 3 == 0 ? -1 : 1);
  }
  Eigen::VectorXd want_y = x;
  preconditioner.Apply(false, &want_y);
  Eigen::VectorXd want_v(n);
  system.Apply(false, want_y, &want_v);
  Eigen::VectorXd y = x;
  Eigen::VectorXd v(n);
  preconditioner.ApplyThenMultiply(system, false, &y, &v);
  // |B| |y|: the scale of each entry's rounding.
  Eigen::VectorXd scale(n);
  Eigen::VectorXd ignored(n);
  system.Residual(want_y, Eigen::VectorXd::Zero(n), &ignored, &scale);
  for (Eigen::Index i = 0; i < n; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(y[i], want_y[i]);
    EXPECT_LE(std::abs(v[i] - want_v[i]), 1e-14 * scale[i]);
  }
}

// A system too coupled to cut in blocks runs its sweep pair on the pool as
// two halves, one following the other up the rows: the bytes of the sweep
// pair without a pool, on one thread or two, numbered by rule or through a
// table, over rows enough for the second half to wait on the first.
TEST(ChainSystemTest, UndividedSweepPairOnThePoolGivesTheBytesOfOne) {
  const StateSpace space = RandomLargeChain(20000, 3, 13, 6);
  const std::vector<double> exit = ExitRates(space);
  std::vector<std::uint32_t> listed;
  std::vector<std::uint32_t> local(space.num_states, kOutsideSystem);
  for (std::uint32_t s = 0; s < space.num_states; ++s) {
    if (s % 11 == 5) continue;
    local[s] = static_cast<std::uint32_t>(listed.size());
    listed.push_back(s);
  }
  const ChainOperator by_table(space, exit, listed, local);
  const ChainOperator by_rule(space, exit, 7);
  TwoWayPool one(1);
  TwoWayPool two(2);
  for (const ChainOperator* system : {&by_table, &by_rule}) {
    const auto n = static_cast<Eigen::Index>(system->size());
    Eigen::VectorXd x(n);
    for (Eigen::Index i = 0; i < n; ++i) {
      x[i] = std::pow(10.0, static_cast<double>((i * 37) % 41) - 20) *
             (i % 3 == 0 ? -1 : 1);
    }
    Eigen::VectorXd want_y = x;
    Eigen::VectorXd want_v(n);
    ChainGaussSeidel(*system).ApplyThenMultiply(*system, false, &want_y,
                                                &want_v);
    for (TwoWayPool* pool : {&one, &two}) {
      const ChainGaussSeidel preconditioner(*system, pool, 16);
      ASSERT_EQ(preconditioner.middle(), system->size());
      for (int round = 0; round < 3; ++round) {
        Eigen::VectorXd y = x;
        Eigen::VectorXd v = Eigen::VectorXd::Constant(n, 7.0);
        preconditioner.ApplyThenMultiply(*system, false, &y, &v);
        ASSERT_TRUE(y == want_y);
        ASSERT_TRUE(v == want_v);
      }
    }
  }
}

// Cut in two blocks (a threshold low enough for a small chain), the
// preconditioner is the symmetric Gauss-Seidel of B^T's block diagonal:
// against the dense matrices, on a class numbered through a table. The
// combined product adds the held crossing terms, so v = B y exactly as
// without the cut; and two threads give the bytes of one.
TEST(ChainSystemTest, TwoBlocksSolveTheBlockDiagonalOnOneThreadOrTwo) {
  // A ring both ways, steps of two, and three long jumps: 5 % of the
  // transitions cross the middle.
  std::vector<Rate> rates;
  for (std::uint32_t s = 1; s <= 60; ++s) {
    rates.push_back({s, s % 60 + 1, 1.0 + 0.1 * (s % 7)});
    rates.push_back({s % 60 + 1, s, 0.5 + 0.2 * (s % 5)});
    rates.push_back({s, (s + 1) % 60 + 1, 0.3});
  }
  rates.push_back({3, 50, 2.0});
  rates.push_back({45, 7, 0.7});
  rates.push_back({20, 40, 1e-3});
  const StateSpace space = Chain(60, rates);
  const std::vector<double> exit = ExitRates(space);
  std::vector<std::uint32_t> states;
  std::vector<std::uint32_t> local(space.num_states, kOutsideSystem);
  for (std::uint32_t s = 0; s < space.num_states; ++s) {
    if (s % 9 == 4) continue;
    local[s] = static_cast<std::uint32_t>(states.size());
    states.push_back(s);
  }
  const ChainOperator system(space, exit, states, local);
  const auto n = static_cast<Eigen::Index>(states.size());
  Eigen::MatrixXd b = Eigen::MatrixXd::Identity(n, n);
  for (std::uint32_t s : states) {
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      const std::uint32_t t = local[space.target[e]];
      if (t != kOutsideSystem) b(t, local[s]) -= space.rate[e] / exit[s];
    }
  }
  TwoWayPool one(1);
  TwoWayPool two(2);
  const ChainGaussSeidel on_one(system, &one, 16);
  const ChainGaussSeidel on_two(system, &two, 16);
  const auto middle = static_cast<Eigen::Index>(on_one.middle());
  ASSERT_GT(middle, 0);
  ASSERT_LT(middle, n);
  ASSERT_EQ(middle % 8, 0);
  ASSERT_GT(on_one.crossing(), 0u);
  EXPECT_EQ(on_two.middle(), on_one.middle());
  EXPECT_EQ(ChainGaussSeidel(system, &one, n + 1).middle(), states.size());
  EXPECT_EQ(ChainGaussSeidel(system).middle(), states.size());
  {
    // Random transitions cross the middle too often: left whole.
    const StateSpace random = RandomChain(60, 5, 6);
    const std::vector<double> random_exit = ExitRates(random);
    const ChainOperator random_system(random, random_exit, states, local);
    EXPECT_EQ(ChainGaussSeidel(random_system, &one, 16).middle(),
              states.size());
  }
  const Eigen::MatrixXd bt = b.transpose();
  Eigen::MatrixXd lower = bt.triangularView<Eigen::StrictlyLower>();
  Eigen::MatrixXd upper = bt.triangularView<Eigen::StrictlyUpper>();
  for (Eigen::Index i = 0; i < n; ++i) {
    for (Eigen::Index j = 0; j < n; ++j) {
      if ((i < middle) != (j < middle)) lower(i, j) = upper(i, j) = 0;
    }
  }
  const Eigen::MatrixXd identity = Eigen::MatrixXd::Identity(n, n);
  const Eigen::MatrixXd m = (identity + lower) * (identity + upper);
  Eigen::VectorXd x(n);
  for (Eigen::Index i = 0; i < n; ++i) {
    x[i] = std::pow(10.0, static_cast<double>((i * 13) % 21) - 10) *
           (i % 4 == 1 ? -1 : 1);
  }
  auto expect_same = [](const Eigen::VectorXd& a, const Eigen::VectorXd& b) {
    for (Eigen::Index i = 0; i < a.size(); ++i) EXPECT_EQ(a[i], b[i]) << i;
  };
  for (bool transposed : {false, true}) {
    SCOPED_TRACE(transposed ? "transposed" : "plain");
    const Eigen::MatrixXd applied = transposed ? m : m.transpose();
    const Eigen::VectorXd want_y = applied.lu().solve(x);
    Eigen::VectorXd solved = x;
    on_one.Apply(transposed, &solved);
    EXPECT_LE((solved - want_y).cwiseAbs().maxCoeff(), 1e-12 * want_y.norm());
    Eigen::VectorXd solved_two = x;
    on_two.Apply(transposed, &solved_two);
    expect_same(solved_two, solved);
    Eigen::VectorXd y = x;
    Eigen::VectorXd v(n);
    on_one.ApplyThenMultiply(system, transposed, &y, &v);
    EXPECT_LE((y - want_y).cwiseAbs().maxCoeff(), 1e-12 * want_y.norm());
    const Eigen::VectorXd want_v = (transposed ? bt : b) * want_y;
    EXPECT_LE((v - want_v).cwiseAbs().maxCoeff(), 1e-12 * want_v.norm());
    Eigen::VectorXd y_two = x;
    Eigen::VectorXd v_two(n);
    on_two.ApplyThenMultiply(system, transposed, &y_two, &v_two);
    expect_same(y_two, y);
    expect_same(v_two, v);
  }
}

// B z, the residual and the adjoint's factor on the two halves of the
// rows, each reading every column for its own rows' terms, against one
// pass: the same bytes, with
// a quarter of the transitions jumping anywhere across the cut and z
// spanning twenty decades of both signs, where a change in the order of
// any row's terms would show.
TEST(ChainSystemTest, TwoBlocksOfRowsGiveTheProductResidualAndFactorOfOne) {
  constexpr std::uint32_t kStates = 70000;
  std::mt19937 random(11);
  std::uniform_int_distribution<std::uint32_t> anywhere(0, kStates - 1);
  const StateSpace space = LargeChain(
      kStates,
      [&](std::uint32_t s) {
        return std::vector<std::uint32_t>{(s + 1) % kStates, (s + 2) % kStates,
                                          (s + 3) % kStates, anywhere(random)};
      },
      [](std::uint32_t s, std::uint32_t t) { return 0.25 + (s * 7 + t) % 13; });
  const std::vector<double> exit = ExitRates(space);
  std::vector<std::uint32_t> states;
  for (std::uint32_t s = 1; s < kStates; ++s) states.push_back(s);
  const std::vector<std::uint32_t> no_table;
  TwoWayPool two(2);
  const ChainOperator whole(space, exit, states, no_table);
  const ChainOperator halves(space, exit, states, no_table, &two);
  const auto n = static_cast<Eigen::Index>(states.size());
  ASSERT_LT(VectorSplit(states.size()), states.size());
  Eigen::VectorXd z(n);
  Eigen::VectorXd c = Eigen::VectorXd::Zero(n);
  for (Eigen::Index i = 0; i < n; ++i) {
    z[i] = std::pow(10.0, static_cast<double>((i * 13) % 21) - 10) *
           (i % 4 == 1 ? -1 : 1);
    if (i % 1000 == 0) c[i] = 1.5;
  }
  auto expect_same = [](const Eigen::VectorXd& a, const Eigen::VectorXd& b) {
    ASSERT_EQ(a.size(), b.size());
    for (Eigen::Index i = 0; i < a.size(); ++i) ASSERT_EQ(a[i], b[i]) << i;
  };
  Eigen::VectorXd product;
  Eigen::VectorXd product_two;
  whole.Apply(false, z, &product);
  halves.Apply(false, z, &product_two);
  expect_same(product_two, product);
  Eigen::VectorXd residual;
  Eigen::VectorXd scale;
  Eigen::VectorXd residual_two;
  Eigen::VectorXd scale_two;
  whole.Residual(z, c, &residual, &scale);
  halves.Residual(z, c, &residual_two, &scale_two);
  expect_same(residual_two, residual);
  expect_same(scale_two, scale);
  // The residual is |c - B z|, up to the rounding of the terms it sums.
  const Eigen::VectorXd apart = residual - (c - product).cwiseAbs();
  EXPECT_LE(apart.cwiseAbs().maxCoeff(), 1e-12 * scale.maxCoeff());
  // The adjoint's factor: each half proves its own rows, and the worse
  // half decides, also where the one row that fails lies past the cut.
  Eigen::VectorXd weight(n);
  for (Eigen::Index i = 0; i < n; ++i) weight[i] = 1 / exit[states[i]];
  Eigen::VectorXd h;
  const ChainGaussSeidel preconditioner(whole);
  ASSERT_TRUE(PreconditionedBiCgStab(whole, preconditioner, true, weight, 1e-10,
                                     1000, &h)
                  .converged);
  const double factor = whole.AdjointFactor(h);
  EXPECT_LT(factor, 1 + 1e-6);
  EXPECT_EQ(halves.AdjointFactor(h), factor);
  h[n - 5] -= 2 / exit[states[n - 5]];
  EXPECT_EQ(whole.AdjointFactor(h), std::numeric_limits<double>::infinity());
  EXPECT_EQ(halves.AdjointFactor(h), std::numeric_limits<double>::infinity());
}

// The sweeps rank the states by how often the chain visits them, from a
// reference that the chain rarely visits: births at 1 and deaths at 1/4 put
// pi_k in proportion to 4^k (the last state likeliest), and a star whose
// leaves all return to its centre at 4 while the centre leaves to each at
// 1/8 puts the centre far above every leaf. With births and deaths the
// other way round the reference is the likeliest state and stays.
TEST(ChainSystemTest, SweepsFindTheLikeliestState) {
  struct Row {
    const char* name;
    StateSpace space;
    std::uint32_t likeliest;  // 0-based
  };
  std::vector<Rate> rising;
  for (std::uint32_t s = 1; s < 30; ++s) {
    rising.push_back({s, s + 1, 1.0});
    rising.push_back({s + 1, s, 0.25});
  }
  std::vector<Rate> falling;
  for (std::uint32_t s = 1; s < 30; ++s) {
    falling.push_back({s, s + 1, 0.25});
    falling.push_back({s + 1, s, 1.0});
  }
  std::vector<Rate> star;
  for (std::uint32_t s = 1; s <= 20; ++s) {
    if (s == 12) continue;
    star.push_back({s, 12, 4.0});
    star.push_back({12, s, 0.125});
  }
  const Row rows[] = {
      {"rising birth-death", Chain(30, rising), 29},
      {"star", Chain(20, star), 11},
      {"falling birth-death", Chain(30, falling), kOutsideSystem}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<double> exit = ExitRates(row.space);
    std::vector<std::uint32_t> states;
    for (std::uint32_t s = 1; s < row.space.num_states; ++s) {
      states.push_back(s);
    }
    const std::vector<std::uint32_t> no_table;
    const ChainOperator system(row.space, exit, states, no_table);
    Eigen::VectorXd c = Eigen::VectorXd::Zero(
        static_cast<Eigen::Index>(row.space.num_states - 1));
    for (std::size_t e = row.space.first[0]; e < row.space.first[1]; ++e) {
      c[system.local(row.space.target[e])] += row.space.rate[e];
    }
    EXPECT_EQ(WellVisitedState(system, c, 10), row.likeliest);
  }
}

// Past kMinSplit unknowns the steps' vector work runs in two halves and the
// preconditioner in two blocks: one thread and two rank alike. Births
// slightly above deaths put the weight at the far end of the chain, away
// from the reference.
TEST(ChainSystemTest, SweepsRankAlikeOnOneThreadAndTwo) {
  constexpr std::uint32_t kStates = 70000;
  const StateSpace space = LargeChain(
      kStates,
      [](std::uint32_t s) {
        return std::vector<std::uint32_t>{s == 0 ? 1 : s - 1,
                                          std::min(s + 1, kStates - 1)};
      },
      [](std::uint32_t s, std::uint32_t t) {
        return t > s ? 1.0 + 0.25 * (s % 3) : 0.999 + 0.25 * (t % 3);
      });
  const std::vector<double> exit = ExitRates(space);
  std::vector<std::uint32_t> states;
  for (std::uint32_t s = 1; s < kStates; ++s) states.push_back(s);
  const std::vector<std::uint32_t> no_table;
  Eigen::VectorXd c = Eigen::VectorXd::Zero(kStates - 1);
  c[0] = space.rate[space.first[0]];
  TwoWayPool one(1);
  TwoWayPool two(2);
  const ChainOperator on_one(space, exit, states, no_table, &one);
  const ChainOperator on_two(space, exit, states, no_table, &two);
  const std::uint32_t pivot = WellVisitedState(on_one, c, 10, &one);
  EXPECT_NE(pivot, kOutsideSystem);
  EXPECT_EQ(WellVisitedState(on_two, c, 10, &two), pivot);
  // Undivided, without the pool, the steps find the same state.
  const ChainOperator whole(space, exit, states, no_table);
  EXPECT_EQ(WellVisitedState(whole, c, 10), pivot);
  EXPECT_GT(pivot, kStates / 2);
}

}  // namespace

// Where a row's terms are subnormal, each keeps only a few bits, and a
// solution as right as doubles can hold there has a residual of the size of
// its scale. The backward error judges such rows by the underflow floor:
// such a solution passes, and a wrong one in rows of normal size still
// fails.
TEST(ChainSystemTest, BackwardErrorJudgesSubnormalRowsByTheFloor) {
  // z2 - z1 / 3 = 0 with z1 = 2^-1070 = 16 units of 2^-1074: z2 is 5.33
  // units, held as 5 or 6.
  ScaledSystem::Matrix b(2, 2);
  b.insert(0, 0) = 1;
  b.insert(1, 0) = -1.0 / 3;
  b.insert(1, 1) = 1;
  b.makeCompressed();
  Eigen::VectorXd c(2);
  c << 0x1p-1070, 0;
  Eigen::VectorXd z(2);
  z << 0x1p-1070, 6 * 0x1p-1074;
  EXPECT_LE(BackwardError(b, z, c), 1e-15);
  // The same rows at a normal scale, with z2 a sixth off, fail.
  c << 1, 0;
  z << 1, 0.375;
  EXPECT_GE(BackwardError(b, z, c), 0.01);
  z << 1, std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isinf(BackwardError(b, z, c)));
}
