#ifndef GEN_SOLVE_KRYLOV_H_
#define GEN_SOLVE_KRYLOV_H_

#include <Eigen/SparseCore>
#include <cstddef>
#include <vector>

// BiCGSTAB preconditioned by an incomplete LU factorisation without fill-in
// (ILU(0)), on the scaled systems of Stationary.cpp. ILU(0) keeps the
// pattern of the matrix, so it costs one more copy of the values and one
// pass to compute, where a thresholded incomplete LU fills in heavily on
// chains of millions of states; on the benchmark chains it cuts the
// iterations several times over.

using SystemMatrix = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;

class Ilu0 {
 public:
  // False when a pivot vanishes or the factors are not finite. Every row of
  // `b` must hold its diagonal entry, and columns must be sorted in rows.
  bool Compute(const SystemMatrix& b);
  // x := (LU)^-1 x, or (LU)^-T x.
  void Solve(Eigen::VectorXd* x) const;
  void SolveTransposed(Eigen::VectorXd* x) const;

 private:
  const SystemMatrix* pattern_ = nullptr;
  std::vector<double> value_;     // L below the diagonal (unit), U on and
                                  // above it, in the pattern of b
  std::vector<int> diagonal_;     // position of (i, i) in value_
};

struct KrylovOutcome {
  bool converged = false;
  std::size_t iterations = 0;
};

// Solves B z = c, or B^T z = c when `transposed`, from the start in *z
// (resized to c's size when it does not fit), until ||c - B z||_2 is at most
// `tolerance` ||c||_2 or after `max_iterations`.
KrylovOutcome PreconditionedBiCgStab(const SystemMatrix& b, const Ilu0& ilu,
                                     bool transposed, const Eigen::VectorXd& c,
                                     double tolerance,
                                     std::size_t max_iterations,
                                     Eigen::VectorXd* z);

#endif  // GEN_SOLVE_KRYLOV_H_
