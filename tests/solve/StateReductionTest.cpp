#include "solve/StateReduction.h"

// Boost's big integers trip GCC's flow analysis in their inline limb code;
// the warning is about the library, not this file.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <Eigen/LU>
#include <boost/multiprecision/cpp_int.hpp>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "solve/DoubleDouble.h"

namespace {

// A scaled system B = I - P^T over n states: each state jumps to a few
// others with probabilities drawn over `decades` orders of magnitude, and
// leaves the system with a probability of 10^-leave_decades or so.
ScaledSystem RandomSystem(int n, int decades, int leave_decades,
                          unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> exponent(-decades, 0);
  std::uniform_int_distribution<int> pick(0, n - 1);
  ScaledSystem system;
  Eigen::MatrixXd dense = Eigen::MatrixXd::Identity(n, n);
  system.leave.assign(static_cast<std::size_t>(n), 0.0);
  for (int i = 0; i < n; ++i) {
    system.states.push_back(static_cast<std::uint32_t>(i));
    std::vector<double> weight(static_cast<std::size_t>(n), 0.0);
    for (int k = 0; k < 3; ++k) {
      const int j = pick(random);
      if (j != i)
        weight[static_cast<std::size_t>(j)] += std::pow(10.0, exponent(random));
    }
    if (n > 1) weight[static_cast<std::size_t>((i + 1) % n)] += 1;  // a cycle
    const double out = std::pow(10.0, -leave_decades) * (1 + i % 3);
    double total = out;
    for (double w : weight) total += w;
    for (int j = 0; j < n; ++j) {
      if (weight[static_cast<std::size_t>(j)] > 0) {
        dense(j, i) = -weight[static_cast<std::size_t>(j)] / total;
      }
    }
    system.leave[static_cast<std::size_t>(i)] = out / total;
  }
  system.b = dense.sparseView();
  system.c = Eigen::VectorXd::Zero(n);
  return system;
}

// Solves with B and B^T, a non-negative and a mixed right-hand side,
// against a dense LU of the same matrix, on systems well and badly
// conditioned: the state reduction must not fall behind partial pivoting.
TEST(StateReductionTest, SolvesBothWaysAsTheDenseLuDoes) {
  struct Row {
    int n, decades, leave_decades;
  };
  for (const Row& row :
       {Row{1, 0, 1}, Row{7, 2, 1}, Row{40, 8, 3}, Row{60, 1, 9}}) {
    SCOPED_TRACE(std::to_string(row.n) + " " + std::to_string(row.decades) +
                 " " + std::to_string(row.leave_decades));
    const ScaledSystem system =
        RandomSystem(row.n, row.decades, row.leave_decades, 7);
    StateReduction reduction;
    ASSERT_TRUE(reduction.Factor(system));
    const Eigen::MatrixXd dense(system.b);
    for (bool transposed : {false, true}) {
      SCOPED_TRACE(transposed);
      Eigen::VectorXd positive = Eigen::VectorXd::LinSpaced(row.n, 1, 2);
      Eigen::VectorXd mixed = positive;
      for (int i = 0; i < row.n; i += 2) mixed[i] = -mixed[i];
      for (Eigen::VectorXd* rhs : {&positive, &mixed}) {
        const Eigen::MatrixXd m =
            transposed ? Eigen::MatrixXd(dense.transpose()) : dense;
        const Eigen::VectorXd expected = m.fullPivLu().solve(*rhs);
        Eigen::VectorXd got = *rhs;
        reduction.Solve(transposed, &got);
        // Residual relative to the sizes involved, as for a stable solve.
        const double scale = m.cwiseAbs().maxCoeff() * got.cwiseAbs().sum() +
                             rhs->cwiseAbs().sum();
        EXPECT_LE((m * got - *rhs).cwiseAbs().sum(), 1e-13 * scale);
        // Both lose digits to the conditioning of the worst rows alike.
        EXPECT_LE((got - expected).norm(), 1e-4 * expected.norm());
      }
    }
  }
}

TEST(StateReductionTest, AStateWithoutAWayOutIsNamed) {
  ScaledSystem system = RandomSystem(5, 1, 1, 3);
  // State 2 jumps nowhere and never leaves: its column is the unit vector.
  Eigen::MatrixXd dense(system.b);
  dense.col(2).setZero();
  dense(2, 2) = 1;
  system.b = dense.sparseView();
  system.leave[2] = 0;
  StateReduction reduction;
  EXPECT_FALSE(reduction.Factor(system));
  EXPECT_LE(reduction.failed_state(), 2u);
}

// The double-double sum against exact rational arithmetic, on sums that
// cancel to far below their terms: its stated rounding bound must hold.
TEST(StateReductionTest, DoubleDoubleSumsStayWithinTheirBound) {
  using Rational = boost::multiprecision::cpp_rational;
  std::mt19937 random(11);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-60, 60);
  for (int trial = 0; trial < 200; ++trial) {
    SCOPED_TRACE(trial);
    DoubleDoubleSum sum;
    Rational exact = 0;
    for (int k = 0; k < 20; ++k) {
      const double a = std::ldexp(mantissa(random), exponent(random));
      const double b = std::ldexp(mantissa(random), exponent(random));
      sum.AddProduct(a, b);
      sum.Add(-a * b);  // cancels the product but for its rounding
      sum.Add(b);
      exact += Rational(a) * Rational(b) + Rational(-a * b) + Rational(b);
    }
    double hi = 0;
    double lo = 0;
    sum.Split(&hi, &lo);
    const Rational error = abs(exact - (Rational(hi) + Rational(lo)));
    EXPECT_LE(error, Rational(sum.Rounding()));
  }
}

}  // namespace
