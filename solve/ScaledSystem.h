#ifndef GEN_SOLVE_SCALEDSYSTEM_H_
#define GEN_SOLVE_SCALEDSYSTEM_H_

#include <Eigen/SparseCore>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "solve/ChainFiles.h"

// The system y (-Q_SS) = c over a set S of states, transposed and with its
// columns scaled by the exit rates: B z = c with B = (-Q_SS)^T D^-1 and
// z = y D. B has a unit diagonal and, off the diagonal, minus the jump
// probabilities of the embedded chain (column i holds those of state i), so
// every column sums to at most 0 and the entries are at most 1 in size
// whatever the spread of the rates.
struct ScaledSystem {
  using Matrix = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;
  std::vector<std::uint32_t> states;  // local -> global
  std::vector<double> exit;           // local: exit rate, > 0
  // local: the jump probability out of S (into a state outside it), summed
  // from the rates so that no 1 - sum is ever taken
  std::vector<double> leave;
  Matrix b;
  Eigen::VectorXd c;
};

// "Not in the system" in a map from global to local state numbers.
constexpr std::uint32_t kNotInSystem =
    std::numeric_limits<std::uint32_t>::max();

// Fills B, the exit and leave rates of `system->states` (set beforehand);
// `local` maps each global state to its index in `states`, or kNotInSystem.
// False when the system has too many entries for Eigen's 32-bit indices.
bool BuildSystem(const StateSpace& space, const std::vector<double>& exit,
                 const std::vector<std::uint32_t>& local, ScaledSystem* system);

// The componentwise backward error max_j |c - B z|_j / (|c| + |B| |z|)_j:
// unlike a norm of the residual it does not let the equations of common
// states drown those of rare ones. Each row's scale is raised by
// kUnderflowFloor (RowBackwardError), so rows whose terms lie below the
// double range are judged by what double arithmetic can hold there.
double BackwardError(const ScaledSystem::Matrix& b, const Eigen::VectorXd& z,
                     const Eigen::VectorXd& c);

// 2^-1012, a thousand times the smallest normal double. A chain whose
// probabilities span more than the double range (a birth-death chain of a
// few thousand states) has rows whose every term is subnormal or zero:
// there each product keeps only a few bits, so |residual| / scale is of
// order 1 for the best solution doubles can hold. The floor is the
// absolute part of the backward error: the solution is that of c perturbed
// by at most backward error times 2^-1012 in every row. It only decides
// whether a solution is taken; the error bounds are computed apart, in
// double-double with the underflow of every product counted.
constexpr double kUnderflowFloor = 0x1p-1012;

// One row's part of the backward error: |residual| / (scale +
// kUnderflowFloor), with scale = (|c| + |B| |z|) of the row.
inline double RowBackwardError(double residual, double scale) {
  return std::abs(residual) / (scale + kUnderflowFloor);
}

#endif  // GEN_SOLVE_SCALEDSYSTEM_H_
