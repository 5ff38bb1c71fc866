#ifndef GEN_SOLVE_KRYLOV_H_
#define GEN_SOLVE_KRYLOV_H_

#include <Eigen/SparseCore>
#include <cstddef>
#include <functional>
#include <vector>

#include "solve/TwoWayPool.h"

// BiCGSTAB preconditioned by an incomplete LU factorisation without fill-in
// (ILU(0)), on the scaled systems of Stationary.cpp. ILU(0) keeps the
// pattern of the matrix, so it costs one more copy of the values and one
// pass to compute, where a thresholded incomplete LU fills in heavily on
// chains of millions of states; on the benchmark chains it cuts the
// iterations several times over.

using SystemMatrix = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;

// y := A x, or A^T x when `transposed`.
class LinearOperator {
 public:
  virtual ~LinearOperator() = default;
  virtual void Apply(bool transposed, const Eigen::VectorXd& x,
                     Eigen::VectorXd* y) const = 0;
};

// x := M^-1 x, or M^-T x when `transposed`, for an approximation M of A.
class Preconditioner {
 public:
  virtual ~Preconditioner() = default;
  virtual void Apply(bool transposed, Eigen::VectorXd* x) const = 0;
  // y := M^-1 y, then v := A y (or the transposed pair): the preconditioned
  // operator as a right-preconditioned Krylov method uses it. By default a
  // solve and a product; a preconditioner that knows `a` may share passes
  // between the two.
  virtual void ApplyThenMultiply(const LinearOperator& a, bool transposed,
                                 Eigen::VectorXd* y, Eigen::VectorXd* v) const {
    Apply(transposed, y);
    a.Apply(transposed, *y, v);
  }
};

// A compressed row matrix as an operator; `b` must outlive it.
class MatrixOperator : public LinearOperator {
 public:
  explicit MatrixOperator(const SystemMatrix& b) : b_(b) {}
  void Apply(bool transposed, const Eigen::VectorXd& x,
             Eigen::VectorXd* y) const override;

 private:
  const SystemMatrix& b_;
};

class Ilu0 : public Preconditioner {
 public:
  // False when a pivot vanishes or the factors are not finite. Every row of
  // `b` must hold its diagonal entry, and columns must be sorted in rows.
  bool Compute(const SystemMatrix& b);
  // x := (LU)^-1 x, or (LU)^-T x.
  void Solve(Eigen::VectorXd* x) const;
  void SolveTransposed(Eigen::VectorXd* x) const;
  void Apply(bool transposed, Eigen::VectorXd* x) const override {
    transposed ? SolveTransposed(x) : Solve(x);
  }

 private:
  const SystemMatrix* pattern_ = nullptr;
  std::vector<double> value_;  // L below the diagonal (unit), U on and
                               // above it, in the pattern of b
  std::vector<int> diagonal_;  // position of (i, i) in value_
};

struct KrylovOutcome {
  bool converged = false;
  std::size_t iterations = 0;
};

// Judges an iterate by a measure that the residual's norm cannot give, such
// as its componentwise backward error; may cost a pass over the matrix. The
// two vectors are the iteration's own, of z's size and idle at that moment:
// the test may overwrite their values (not their size), which saves it two
// vectors of the size of the chain.
using IterateTest = std::function<bool(
    const Eigen::VectorXd& z, Eigen::VectorXd* scratch, Eigen::VectorXd* more)>;

// Told of each iteration: its number and ||c - B z||_2 / ||c||_2.
using IterationReport =
    std::function<void(std::size_t iteration, double relative_residual)>;

// Solves B z = c, or B^T z = c when `transposed`, from the start in *z
// (resized to c's size when it does not fit), until ||c - B z||_2 is at most
// `tolerance` ||c||_2 or after `max_iterations`.
//
// With `accept`, the residual's norm only decides when to ask it: first
// when ||c - B z||_2 is at most `tolerance` (||c||_2 + ||z||_2), then each
// time the residual has fallen tenfold below the last refused one. The
// iteration stops when `accept` agrees, and gives up when it has refused
// three iterates that meet the goal without it. A componentwise backward error
// below `tolerance` makes |c - B z| at most `tolerance` (|c| + |B| |z|)
// entry by entry, and |B| |z| >= |z| when B's diagonal is 1, so the first
// question comes about when the answer can first be yes: against ||c||_2
// alone the norm goes on falling long after, on chains where z is large
// beside c.
//
// With `pool`, the vector work of systems of kMinSplit unknowns or more runs
// in the pool's two fixed halves (the same result for one thread or two).
KrylovOutcome PreconditionedBiCgStab(
    const LinearOperator& b, const Preconditioner& preconditioner,
    bool transposed, const Eigen::VectorXd& c, double tolerance,
    std::size_t max_iterations, Eigen::VectorXd* z,
    const IterateTest& accept = nullptr,
    const IterationReport& report = nullptr, TwoWayPool* pool = nullptr);

// Restarted GMRES(m), right preconditioned: minimises the residual norm of
// B z = c (or B^T z = c) over each cycle of `restart` steps, so it never
// breaks down where BiCGSTAB does, at the price of `restart` vectors.
// Stops when ||c - B z||_2 <= tolerance ||c||_2 (then asks `accept`, when
// given) or after `max_iterations` steps in all; z holds the start on
// entry (c if its size is wrong) and the last iterate on return. `report`
// is told of each step and the residual norm the cycle's least squares
// give.
KrylovOutcome PreconditionedGmres(const LinearOperator& b,
                                  const Preconditioner& preconditioner,
                                  bool transposed, const Eigen::VectorXd& c,
                                  double tolerance, std::size_t max_iterations,
                                  std::size_t restart, Eigen::VectorXd* z,
                                  const IterateTest& accept = nullptr,
                                  const IterationReport& report = nullptr);

#endif  // GEN_SOLVE_KRYLOV_H_
