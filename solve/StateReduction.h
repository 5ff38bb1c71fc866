#ifndef GEN_SOLVE_STATEREDUCTION_H_
#define GEN_SOLVE_STATEREDUCTION_H_

#include <Eigen/Core>
#include <cstddef>

#include "solve/ScaledSystem.h"

// Dense LU factors of a scaled system's B computed without a subtraction
// (Grassmann-Taksar-Heyman state reduction): each pivot is the sum of the
// jump probabilities that leave the state in the reduced chain, never
// 1 - (the probability of staying). Solves with a non-negative right-hand
// side are subtraction-free as well, so every component of the solution,
// the smallest included, is right to a few units of rounding per state
// however stiff or nearly decomposable the chain. (n^2 doubles; n^3 / 3
// multiply-adds to factor, n^2 per solve.)
class StateReduction {
 public:
  // False when a state has no way out of the system (a pivot is not
  // positive and finite); failed_state() then names it.
  bool Factor(const ScaledSystem& system);
  // x := B^-1 x, or B^-T x when `transposed`; x must be non-negative.
  void SolveNonNegative(bool transposed, Eigen::VectorXd* x) const;
  // The same for any sign: the positive and negative parts solved apart.
  void Solve(bool transposed, Eigen::VectorXd* x) const;
  // The local number of the state without a way out.
  std::size_t failed_state() const { return failed_state_; }

 private:
  // Magnitudes only: strictly below the diagonal -L, strictly above -U,
  // on it U's pivots.
  Eigen::MatrixXd a_;
  std::size_t failed_state_ = 0;
};

#endif  // GEN_SOLVE_STATEREDUCTION_H_
