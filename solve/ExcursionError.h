#ifndef GEN_SOLVE_EXCURSIONERROR_H_
#define GEN_SOLVE_EXCURSIONERROR_H_

#include <Eigen/Core>
#include <Eigen/SparseLU>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "solve/ChainFiles.h"
#include "solve/ChainSystem.h"
#include "solve/Krylov.h"
#include "solve/ScaledSystem.h"
#include "solve/StateReduction.h"

// Error bounds for a computed solution y of y (-Q_SS) = q_{reference,S},
// the expected time spent in each state of S during one excursion from a
// reference state (y = 1 there), and for ratios u.y / d.y of it.
//
// A bound from the residual alone is the residual times the conditioning,
// far above the true error on stiff and nearly decomposable chains, since
// a residual computed in doubles is no smaller than the rounding of its
// largest term. Here the residual r = c - A y (A = (-Q_SS)^T) is computed
// from the chain's rates in double-double arithmetic, the correction
// e = A^-1 r is estimated by a few refinement steps, and only what the
// correction leaves of the residual, s, is bounded: y* - y = e_est + A^-1 s
// with |A^-1 s| <= A^-1 rho for any rho >= |s|, since A^-1 >= 0 (A is an
// M-matrix). One solve for x = A^-1 rho then bounds |w . A^-1 s| by |w|.x
// for every weight vector w. The bounds thus follow the true error down to
// the rounding of the stored values.
class ExcursionError {
 public:
  ExcursionError() = default;
  ExcursionError(const ExcursionError&) = delete;
  ExcursionError& operator=(const ExcursionError&) = delete;

  // Sets up the solves with A and A^T over S = `others` (global numbers,
  // increasing): the dense state reduction for up to `dense_limit`
  // unknowns, otherwise BiCGSTAB preconditioned by Gauss-Seidel over the
  // chain's own rows, on the two halves of `pool` when given (the same
  // arithmetic whatever its thread count). False when the system cannot be
  // built or factored. `space`, `exit` and `pool` must outlive this object.
  bool Prepare(const StateSpace& space, const std::vector<double>& exit,
               std::uint32_t reference, std::vector<std::uint32_t> others,
               std::size_t dense_limit, std::size_t max_iterations,
               TwoWayPool* pool = nullptr);

  // After Prepare on the iterative path: every later solve with B goes
  // through a sparse LU of it instead of the iterations, for a solution
  // that such an LU gave, where it fitted and the iterations may crawl (a
  // queue of two dimensions: minutes of sweeps against seconds). False,
  // and nothing changed, where it cannot be factored.
  bool UseSparseLu();

  // Called on each iteration of the iterative solves.
  void Report(IterationReport report) { report_ = std::move(report); }

  // Takes a solution: y at the reference is `reference_weight` (the system
  // scales with it), `y` holds one entry per state of `others`, in their
  // order, and bounds its error. With the dense factors the error estimate
  // is refined; with iterative solves only when NormBound would be above
  // `target` times the sum of |y| (reference included) without it.
  // False when no residual bound could be formed.
  bool Analyse(double reference_weight, Eigen::VectorXd y, double target = 0);

  // After Analyse on the iterative path: refines the bound when NormBound
  // misses `target` as Analyse would have. False as Analyse.
  bool Sharpen(double target);

  // After Analyse on the iterative path, for values far below the rest:
  // the remainder's bound raises every row by the same amount, which leaves
  // a floor that swamps the rarest entries of y, and the correction's own
  // error does the same. This bounds y* - y = A^-1 r again, with no
  // correction and a raise shaped like r itself, row by row; Bound then
  // takes the smaller of the two bounds (each holds). False where no such
  // bound could be formed; the old one then stands alone.
  bool SharpenRows();

  // Writes the solution analysed, times 2^exponent, into `global` at the
  // reference and the states of S.
  void WriteSolution(int exponent, std::vector<double>* global) const;

  // Whether NormBound is within `target` times the sum of |y|, reference
  // included, for the last solution analysed.
  bool Meets(double target) const;

  // Bound on sum over S of |y - y*|; infinite when the adjoint solve fails.
  double NormBound() const;

  // The ratio of u and d (global per-state vectors; d null: all 1) under y,
  // and a bound on its error; infinite when none could be computed.
  double Bound(const std::vector<double>& u, const std::vector<double>* d,
               double* value) const;

 private:
  // One row of a residual in double-double: the rounded value, its
  // remainder and a bound on the error of their sum. While the row is
  // summed, `rounding` holds the sum of the terms' sizes and `terms` their
  // count (see DoubleDoubleSum::Parts).
  struct ResidualRow {
    double hi = 0;
    double lo = 0;
    double rounding = 0;
    std::uint32_t terms = 0;
  };
  // rhs - A x in double-double, rhs = rhs_hi + rhs_lo (each empty for 0),
  // plus c times the reference's weight `with_c`.
  std::vector<ResidualRow> ResidualRows(const Eigen::VectorXd& rhs_hi,
                                        const Eigen::VectorXd& rhs_lo,
                                        bool with_c,
                                        const Eigen::VectorXd& x) const;
  // As ResidualRows, the rows' parts in three vectors.
  void Residual(const Eigen::VectorXd& rhs_hi, const Eigen::VectorXd& rhs_lo,
                bool with_c, const Eigen::VectorXd& x, Eigen::VectorXd* hi,
                Eigen::VectorXd* lo, Eigen::VectorXd* rounding) const;
  // x := B^-1 rhs for the scaled B = A D^-1, an iterative solve running to
  // `tolerance` from x when it has rhs's size, else from rhs; false on
  // failure.
  bool Solve(double tolerance, const Eigen::VectorXd& rhs,
             Eigen::VectorXd* x) const;
  // As Solve, by the stationary iteration x += M^-1 (rhs - B x) with M the
  // symmetric Gauss-Seidel preconditioner, from x when it has rhs's size,
  // else from 0, up to max_iterations_ sweeps. Slow but steady where
  // BiCGSTAB's own residual drifts from the true one, as it can on a chain
  // whose solution spans hundreds of orders of magnitude. False with the
  // dense factors, which need no fallback.
  bool SolveBySweeps(double tolerance, const Eigen::VectorXd& rhs,
                     Eigen::VectorXd* x) const;
  // As Solve, by GMRES(kFactoredRestart) preconditioned by ILU(0) over B
  // held as a sparse matrix, the pair the table's GMRES solves chains with.
  // Where the Gauss-Seidel preconditioner leaves BiCGSTAB drifting and the
  // sweeps crawling, as on a long birth-death chain (there ILU(0) is the
  // exact LU), the factors still solve. B and its factors are made on the
  // first call, and only where they and GMRES's vectors take at most half
  // the memory available; false otherwise, on failure and with the dense
  // factors.
  bool SolveByFactors(double tolerance, const Eigen::VectorXd& rhs,
                      Eigen::VectorXd* x);
  // Makes factored_system_, B as a sparse matrix, once; false on failure.
  bool BuildFactoredSystem();
  // x := B^-1 rhs by lu_, with one step of refinement.
  bool SolveByLu(const Eigen::VectorXd& rhs, Eigen::VectorXd* x) const;
  // Checks A x >= rho row by row in double-double, rho_j at most
  // need_of(j) and rho_ holding the right-hand side x was solved for; on
  // success sets remainder_ to x scaled up to cover what the check leaves.
  template <typename Need>
  bool Check(const Eigen::VectorXd& x, const Need& need_of);
  // Whether `vectors` more vectors of S's size (the shaped raise's `need`
  // and the sweeps' residual, at least) fit in half the memory available.
  bool ShapedRaiseFits(std::size_t vectors) const;
  // Bounds A^-1 need with the raise rho_ = (1 + kShapedRaise) need: a solve,
  // the sweeps of PolishRows and the check; sets remainder_ when the check
  // passes, and returns whether it did. With `both_sides` the bound is
  // also sharp: at most (1 + 3 kShapedRaise / 2) A^-1 need entry by entry.
  bool ShapedRemainder(const Eigen::VectorXd& need, bool both_sides);
  // Sweeps the scaled solution x of B x = rho_ until every row's residual
  // is at most half of kShapedRaise times need (with `both_sides`, in size:
  // then x is within a factor 1 +- kShapedRaise / 2 of B^-1 rho_ too, as
  // B^-1 >= 0); false where they stall.
  bool PolishRows(const Eigen::VectorXd& need, bool both_sides,
                  Eigen::VectorXd* x) const;
  // c w - A y_ in double-double, as Residual gives it.
  void ResidualOfSolution(Eigen::VectorXd* hi, Eigen::VectorXd* lo,
                          Eigen::VectorXd* rounding) const;
  // Up to `steps` refinement steps from y_, then the remainder's bound.
  bool Refine(int steps, double target);
  // rho_ := a bound on |c w - A y_| per row, from the residual in
  // double-double.
  bool BoundResidual();
  // Sets remainder_ from rho_, which it may raise (any rho >= |s| serves):
  // from a loose solve, tightened while NormBound misses `target` times
  // the sum of |y|.
  void BoundRemainder(double target);
  // |w| . remainder: with remainder_, a bound on |w . A^-1 s| for weights
  // w (y units); with row_remainder_, on |w . A^-1 r|.
  double Remainder(const Eigen::VectorXd& w,
                   const Eigen::VectorXd& remainder) const;

  // The local number of global state s, or kNotInSystem; where local_ is
  // left empty S is every state but the reference (see Prepare).
  std::uint32_t Local(std::uint32_t s) const {
    if (!local_.empty()) return local_[s];
    return s == reference_ ? kNotInSystem : s - (s > reference_ ? 1 : 0);
  }

  // The global number of local state i: where states_ is left empty S is
  // every state but the reference (see Prepare).
  std::uint32_t Global(std::size_t i) const {
    if (!states_.empty()) return states_[i];
    return static_cast<std::uint32_t>(i + (i >= reference_ ? 1 : 0));
  }

  const StateSpace* space_ = nullptr;
  const std::vector<double>* exit_ = nullptr;  // global
  std::uint32_t reference_ = 0;
  std::vector<std::uint32_t> states_;
  std::size_t count_ = 0;  // the states of S
  std::vector<std::uint32_t> local_;
  // The right-hand side: the rates from the reference into S, by row.
  std::vector<std::pair<Eigen::Index, double>> c_;
  std::size_t max_iterations_ = 0;
  bool dense_ = false;
  StateReduction reduction_;
  std::unique_ptr<ChainOperator> op_;
  std::unique_ptr<ChainGaussSeidel> preconditioner_;
  // B and its ILU(0) factors for SolveByFactors, once made.
  std::unique_ptr<ScaledSystem> factored_system_;
  std::unique_ptr<Ilu0> factors_;
  bool factors_tried_ = false;
  // B's sparse LU, where UseSparseLu made it.
  using SparseLu =
      Eigen::SparseLU<Eigen::SparseMatrix<double, Eigen::ColMajor, int>,
                      Eigen::COLAMDOrdering<int>>;
  std::unique_ptr<SparseLu> lu_;
  TwoWayPool* pool_ = nullptr;
  IterationReport report_;

  double reference_weight_ = 1;
  double total_ = 0;  // |reference_weight_| + sum |y_|
  Eigen::VectorXd y_;
  Eigen::VectorXd correction_;  // the estimate of y* - y
  Eigen::VectorXd rho_;         // bound on |s| per row
  // A bound on A^-1 rho (see BoundRemainder); empty when none was found.
  Eigen::VectorXd remainder_;
  // A bound on A^-1 |r| entry by entry, with no correction (SharpenRows);
  // empty when none was formed.
  Eigen::VectorXd row_remainder_;
  mutable const std::vector<double>* eta_d_ = nullptr;
  mutable double eta_ = 0;
  mutable bool eta_known_ = false;
};

#endif  // GEN_SOLVE_EXCURSIONERROR_H_
