#ifndef GEN_SOLVE_CHAINSYSTEM_H_
#define GEN_SOLVE_CHAINSYSTEM_H_

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "solve/ChainFiles.h"
#include "solve/Krylov.h"

// The scaled system B z = c of Stationary.cpp over a set S of states, used
// in place through the chain's own compressed rows: B = (-Q_SS)^T D^-1, so
// row i of B^T is state i's outgoing transitions divided by its exit rate,
// plus the unit diagonal. Nothing of the size of the transitions is copied
// for the matrix; only the incomplete factors take one float per transition.

constexpr std::uint32_t kOutsideSystem =
    std::numeric_limits<std::uint32_t>::max();

class ChainOperator : public LinearOperator {
 public:
  // `states` maps local to global numbers, in increasing order; `local` maps
  // global numbers back, or kOutsideSystem. All must outlive the operator.
  ChainOperator(const StateSpace& space, const std::vector<double>& exit,
                const std::vector<std::uint32_t>& states,
                const std::vector<std::uint32_t>& local);

  void Apply(bool transposed, const Eigen::VectorXd& x,
             Eigen::VectorXd* y) const override;

  // Per row j of B: |c - B z|_j, and |c_j| + (|B| |z|)_j.
  void Residual(const Eigen::VectorXd& z, const Eigen::VectorXd& c,
                Eigen::VectorXd* residual, Eigen::VectorXd* scale) const;

  std::size_t size() const { return states_.size(); }
  std::uint32_t global(std::size_t i) const {
    return shifted_ ? static_cast<std::uint32_t>(i + 1) : states_[i];
  }
  // With S = all states but state 0 (every irreducible chain) the local
  // number is the global one minus 1, and 0 - 1 wraps to kOutsideSystem:
  // no look-up in the hot loops.
  std::uint32_t local(std::uint32_t global) const {
    return shifted_ ? global - 1 : local_[global];
  }
  const StateSpace& space() const { return space_; }
  double exit(std::size_t i) const { return exit_[states_[i]]; }

 private:
  template <class Rate>
  void ApplyWith(Rate rate, bool transposed, const Eigen::VectorXd& x,
                 Eigen::VectorXd* y) const;

  const StateSpace& space_;
  const std::vector<double>& exit_;
  const std::vector<std::uint32_t>& states_;
  const std::vector<std::uint32_t>& local_;
  bool shifted_ = false;
};

// ILU(0) of B^T in the chain's rows, so that B ~ (LU)^T. L has a unit
// diagonal; L and U share one 2-byte word per transition, U's diagonal is
// apart. The words hold the factors with a float's range and an 8-bit
// mantissa (the upper half of a float, rounded to nearest): a
// preconditioner only steers the iteration, which checks its own
// residual, and the sweeps over it read half the bytes of floats.
class ChainIlu0 : public Preconditioner {
 public:
  // False when a pivot is not positive and finite.
  bool Compute(const ChainOperator& system);
  // B's preconditioner solves with (LU)^T; the transposed one with LU.
  void Apply(bool transposed, Eigen::VectorXd* x) const override;

  // The stored form of a factor and back.
  static std::uint16_t Narrow(double value) {
    const float f = static_cast<float>(value);
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    bits += 0x7FFFu + ((bits >> 16) & 1u);  // to nearest, ties to even
    return static_cast<std::uint16_t>(bits >> 16);
  }
  static double Widen(std::uint16_t word) {
    const std::uint32_t bits = std::uint32_t{word} << 16;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }

 private:
  const ChainOperator* system_ = nullptr;
  std::vector<std::uint16_t> factor_;  // per transition of the chain
  std::vector<double> diagonal_;       // per unknown: U's diagonal
  // Per unknown: where U's row starts, counted from the row's first
  // transition, so that the sweeps over U skip L's entries unread.
  std::vector<std::uint32_t> upper_;
};

#endif  // GEN_SOLVE_CHAINSYSTEM_H_
