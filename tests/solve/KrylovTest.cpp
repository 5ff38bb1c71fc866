#include "solve/Krylov.h"

#include <Eigen/LU>
#include <algorithm>
#include <cmath>
#include <vector>

#include "gtest/gtest.h"

namespace {

// B = I - P^T for a random walk on a k x k grid that steps to each
// neighbour with chance 1/4 and leaves the grid at its edges: a
// non-singular M-matrix with a unit diagonal, whose ILU(0) is not exact.
// Its solution for c = e_0 (the expected visits of a walk from a corner)
// is large beside c.
SystemMatrix GridSystem(int k) {
  const int n = k * k;
  std::vector<Eigen::Triplet<double>> entries;
  for (int row = 0; row < k; ++row) {
    for (int col = 0; col < k; ++col) {
      const int i = row * k + col;
      entries.emplace_back(i, i, 1.0);
      const int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
      for (const auto& step : steps) {
        const int r = row + step[0];
        const int c = col + step[1];
        if (r < 0 || r >= k || c < 0 || c >= k) continue;
        // Column i of B holds the steps out of i, negated.
        entries.emplace_back(r * k + c, i, -0.25);
      }
    }
  }
  SystemMatrix b(n, n);
  b.setFromTriplets(entries.begin(), entries.end());
  return b;
}

// max_j |c - B z|_j / (|c| + |B| |z|)_j.
double ComponentwiseError(const SystemMatrix& b, const Eigen::VectorXd& z,
                          const Eigen::VectorXd& c) {
  const Eigen::VectorXd residual = (c - b * z).cwiseAbs();
  const Eigen::VectorXd scale = c.cwiseAbs() + b.cwiseAbs() * z.cwiseAbs();
  double worst = 0;
  for (Eigen::Index j = 0; j < z.size(); ++j) {
    worst = std::max(worst, residual[j] / scale[j]);
  }
  return worst;
}

// The grid's system for a walk from the corner, with its ILU(0).
struct GridProblem {
  explicit GridProblem(int k)
      : b(GridSystem(k)), c(Eigen::VectorXd::Unit(b.rows(), 0)) {
    factored = ilu.Compute(b);
  }
  SystemMatrix b;
  Eigen::VectorXd c;
  Ilu0 ilu;
  bool factored = false;
};

TEST(KrylovTest, AnIterateTestStopsAsSoonAsItHolds) {
  const GridProblem grid(40);
  ASSERT_TRUE(grid.factored);
  const SystemMatrix& b = grid.b;
  const Eigen::VectorXd& c = grid.c;
  const Ilu0& ilu = grid.ilu;
  const MatrixOperator op(b);
  constexpr double kTolerance = 1e-12;

  Eigen::VectorXd by_norm = c;
  const KrylovOutcome plain =
      PreconditionedBiCgStab(op, ilu, false, c, kTolerance, 1000, &by_norm);
  ASSERT_TRUE(plain.converged);

  int asked = 0;
  // The scratch vectors must really be idle: filling them with NaN would
  // spoil the iteration otherwise.
  auto accept = [&](const Eigen::VectorXd& z, Eigen::VectorXd* scratch,
                    Eigen::VectorXd* more) {
    ++asked;
    scratch->setConstant(z.size(), std::nan(""));
    more->setConstant(z.size(), std::nan(""));
    return ComponentwiseError(b, z, c) <= kTolerance;
  };
  Eigen::VectorXd tested = c;
  const KrylovOutcome outcome = PreconditionedBiCgStab(
      op, ilu, false, c, kTolerance, 1000, &tested, accept);
  ASSERT_TRUE(outcome.converged);
  EXPECT_LE(ComponentwiseError(b, tested, c), kTolerance);
  EXPECT_GE(asked, 1);
  EXPECT_LE(asked, 6);
  EXPECT_LT((tested - by_norm).norm(), 1e-9 * by_norm.norm());
}

TEST(KrylovTest, ARefusingTestGivesUpOnceTheNormGoalIsMet) {
  const GridProblem grid(20);
  ASSERT_TRUE(grid.factored);
  int asked = 0;
  Eigen::VectorXd z = grid.c;
  const KrylovOutcome outcome = PreconditionedBiCgStab(
      MatrixOperator(grid.b), grid.ilu, false, grid.c, 1e-8, 300, &z,
      [&](const Eigen::VectorXd&, Eigen::VectorXd*, Eigen::VectorXd*) {
        ++asked;
        return false;
      });
  EXPECT_FALSE(outcome.converged);
  // Each question needs the residual ten times below the last refused one,
  // from 1e-8 (|c| + |z|) to three past 1e-8 |c|.
  EXPECT_GE(asked, 3);
  EXPECT_LE(asked, 7);
  EXPECT_LT(outcome.iterations, 300u);
  EXPECT_TRUE(z.allFinite());
}

// GMRES against a dense solve of the same system, forwards and transposed,
// with restarts short enough that several cycles are needed; and an
// iterate test that refuses makes it ask again further down.
TEST(KrylovTest, GmresSolvesBothWaysAcrossRestarts) {
  GridProblem grid(12);
  ASSERT_TRUE(grid.factored);
  const Eigen::MatrixXd dense(grid.b);
  for (bool transposed : {false, true}) {
    SCOPED_TRACE(transposed);
    const Eigen::VectorXd exact =
        transposed ? Eigen::VectorXd(dense.transpose().lu().solve(grid.c))
                   : Eigen::VectorXd(dense.lu().solve(grid.c));
    Eigen::VectorXd z;
    const KrylovOutcome outcome =
        PreconditionedGmres(MatrixOperator(grid.b), grid.ilu, transposed,
                            grid.c, 1e-12, 1000, 4, &z);
    ASSERT_TRUE(outcome.converged);
    EXPECT_GT(outcome.iterations, 4u);  // restarted at least once
    EXPECT_LE((z - exact).norm(), 1e-9 * exact.norm());
  }
  int asked = 0;
  Eigen::VectorXd z;
  const KrylovOutcome outcome = PreconditionedGmres(
      MatrixOperator(grid.b), grid.ilu, false, grid.c, 1e-3, 1000, 4, &z,
      [&](const Eigen::VectorXd& x, Eigen::VectorXd*, Eigen::VectorXd*) {
        ++asked;
        return ComponentwiseError(grid.b, x, grid.c) <= 1e-13;
      });
  EXPECT_TRUE(outcome.converged);
  EXPECT_GT(asked, 1);
  EXPECT_LE(ComponentwiseError(grid.b, z, grid.c), 1e-13);
}

// The walk along a line of n states that leaves it only at the first,
// stepping up with chance `up` (1 at the last state: it steps back):
// B = I - P^T, a non-singular M-matrix whose conditioning grows at least as
// n^2.
SystemMatrix LineSystem(int n, double up) {
  std::vector<Eigen::Triplet<double>> entries;
  for (int i = 0; i < n; ++i) {
    entries.emplace_back(i, i, 1.0);
    // Column i holds the steps out of i, negated.
    if (i > 0) entries.emplace_back(i - 1, i, i + 1 < n ? up - 1 : -1.0);
    if (i + 1 < n) entries.emplace_back(i + 1, i, -up);
  }
  SystemMatrix b(n, n);
  b.setFromTriplets(entries.begin(), entries.end());
  return b;
}

// Symmetric Gauss-Seidel over a unit-diagonal B: x := ((I + L)(I + U))^-1 x.
class SymmetricGaussSeidel : public Preconditioner {
 public:
  explicit SymmetricGaussSeidel(const SystemMatrix& b) : b_(b) {}
  void Apply(bool, Eigen::VectorXd* x) const override {
    const Eigen::Index n = x->size();
    auto sweep = [&](Eigen::Index i, bool lower) {
      for (SystemMatrix::InnerIterator it(b_, i); it; ++it) {
        if ((it.col() < i) == lower && it.col() != i) {
          (*x)[i] -= it.value() * (*x)[it.col()];
        }
      }
    };
    for (Eigen::Index i = 0; i < n; ++i) sweep(i, true);
    for (Eigen::Index i = n; i-- > 0;) sweep(i, false);
  }

 private:
  const SystemMatrix& b_;
};

class NoPreconditioner : public Preconditioner {
 public:
  void Apply(bool, Eigen::VectorXd*) const override {}
};

// BiCGSTAB gives up where its recurrences have lost the system, and only
// there. Unpreconditioned on a fair walk of 3,000 states, its residual
// crawls for about as many iterations before it falls: that run must finish.
// With symmetric Gauss-Seidel on a walk of 30,000 states drifting up (1e-1
// to 1e9 for the whole budget on the chain that showed it), the residual
// climbs: that run must end long before the budget.
TEST(KrylovTest, BiCgStabGivesUpOnlyWhereItHasLostTheSystem) {
  constexpr std::size_t kBudget = 20000;
  {
    const SystemMatrix b = LineSystem(3000, 0.5);
    const Eigen::VectorXd c = Eigen::VectorXd::Unit(b.rows(), b.rows() - 1);
    Eigen::VectorXd z = c;
    const KrylovOutcome outcome = PreconditionedBiCgStab(
        MatrixOperator(b), NoPreconditioner(), false, c, 1e-12, kBudget, &z);
    EXPECT_TRUE(outcome.converged);
    EXPECT_GT(outcome.iterations, 1000u);
  }
  {
    const SystemMatrix b = LineSystem(30000, 0.99 / 1.99);
    const Eigen::VectorXd c = Eigen::VectorXd::Ones(b.rows());
    Eigen::VectorXd z = c;
    const KrylovOutcome outcome =
        PreconditionedBiCgStab(MatrixOperator(b), SymmetricGaussSeidel(b),
                               false, c, 1e-6, kBudget, &z);
    EXPECT_FALSE(outcome.converged);
    EXPECT_LT(outcome.iterations, kBudget / 10);
  }
}

// A walk on a k x k torus never leaves it, so B = I - P^T is singular, and
// c = e_0, whose entries do not sum to 0, lies outside its range: the
// residual cannot fall below c's part along the null vector 1. GMRES must
// give up once its cycles stop halving the residual, not spend the budget.
TEST(KrylovTest, GmresGivesUpOnceItsCyclesStagnate) {
  constexpr int k = 12;
  constexpr int n = k * k;
  std::vector<Eigen::Triplet<double>> entries;
  for (int i = 0; i < n; ++i) {
    const int row = i / k;
    const int col = i % k;
    entries.emplace_back(i, i, 1.0);
    for (const int j : {(row + 1) % k * k + col, (row + k - 1) % k * k + col,
                        row * k + (col + 1) % k, row * k + (col + k - 1) % k}) {
      entries.emplace_back(j, i, -0.25);
    }
  }
  SystemMatrix b(n, n);
  b.setFromTriplets(entries.begin(), entries.end());
  const Eigen::VectorXd c = Eigen::VectorXd::Unit(n, 0);
  Eigen::VectorXd z = c;
  constexpr std::size_t kBudget = 20000;
  const KrylovOutcome outcome = PreconditionedGmres(
      MatrixOperator(b), NoPreconditioner(), false, c, 1e-10, kBudget, 10, &z);
  EXPECT_FALSE(outcome.converged);
  EXPECT_LT(outcome.iterations, kBudget / 10);
  EXPECT_TRUE(z.allFinite());
}

}  // namespace
