#ifndef GEN_SOLVE_TRANSIENT_H_
#define GEN_SOLVE_TRANSIENT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "solve/ChainFiles.h"

// Transient measures by uniformization: with Lambda the largest exit rate
// and P = I + Q / Lambda, the distribution at time t from state 0 is
// sum_k Poisson(k; Lambda t) e_0 P^k. The Poisson weights are computed
// outward from the mode and cut where a geometric bound on each tail falls
// below the requested truncation error, so the mass left out is bounded, not
// estimated.

// The Poisson weights e^-lambda lambda^k / k! for k in left..right.
struct PoissonWindow {
  std::size_t left = 0;
  std::size_t right = 0;
  std::vector<double> weight;  // right - left + 1 values
  // Bounds on the mass left out below `left` and above `right`.
  double left_tail = 0;
  double right_tail = 0;
  // Bound on sum_{k > right} P(N > k), the part of the accumulated measure
  // beyond the window, in units of 1 / Lambda.
  double accumulated_tail = 0;
};

// Weights for `lambda` >= 0 such that each tail is at most epsilon / 2 (and
// the accumulated tail at most epsilon / 2 times max(lambda, 1)).
PoissonWindow PoissonWeights(double lambda, double epsilon);

// One time point: per reward vector, the expected instantaneous reward at
// the time and the expected reward accumulated over [0, time], each with a
// bound on its error (truncation plus an estimate of rounding).
struct TransientPoint {
  double time = 0;
  std::size_t terms = 0;  // right end of the Poisson window
  std::vector<double> instant;
  std::vector<double> instant_bound;
  std::vector<double> accumulated;
  std::vector<double> accumulated_bound;
};

struct [[nodiscard]] TransientResult {
  bool ok = false;
  std::string message;  // why not ok
  double rate = 0;      // Lambda
  // Steps taken, and the steps the largest window asked for; fewer taken
  // when the iterate settled (steady) before.
  std::size_t iterations = 0;
  std::size_t planned = 0;
  bool steady = false;
  std::vector<TransientPoint> points;  // one per requested time, in order
};

struct TransientOptions {
  double epsilon = 1e-18;
  // More steps than this are refused rather than run for hours.
  std::size_t max_steps = 100000000;
  // Chains of at most this many states switch, for a time that needs more
  // steps than dense_from_steps, to dense squaring: exp(Q t) =
  // exp(Q t / 2^j)^(2^j), which needs j matrix products instead of Lambda t
  // steps and keeps every term non-negative; it computes in extended precision.
  std::size_t max_dense_states = 300;
  double dense_from_steps = 200000;
  // Stop the series once the iterate has settled: every later iterate is
  // then taken as the current one, and the bound grows by what that can
  // miss (the change of one step times the steps left, weighted). It stops
  // only when that addition is below steady_tolerance times the reward's
  // scale (times the time for accumulated measures), or below the rounding
  // bound the whole series would carry anyway.
  // Series of fewer steps than steady_from_steps always run to the end.
  bool stop_at_steady_state = false;
  double steady_tolerance = 1e-10;
  double steady_from_steps = 10000;
  // The distribution at time 0 (one entry per state, summing to at most 1);
  // null: the chain starts in state 0.
  const std::vector<double>* initial = nullptr;
};

// `instant[v]` and `earning[v]` are per-state reward vectors (the second is
// the rate at which reward is earned, impulses included; see EarningRate).
// Times must be finite and >= 0, in any order.
TransientResult SolveTransient(
    const StateSpace& space, const std::vector<double>& times,
    const std::vector<const std::vector<double>*>& instant,
    const std::vector<const std::vector<double>*>& earning,
    const TransientOptions& options);

// The distribution at `time` (sparse uniformization only), with a bound on
// the 1-norm of its error.
struct [[nodiscard]] TransientDistribution {
  bool ok = false;
  std::string message;  // why not ok
  std::vector<double> pi;
  double error = 0;
  std::size_t steps = 0;
};

TransientDistribution DistributionAt(const StateSpace& space, double time,
                                     const TransientOptions& options);

// A copy of `space` in which every state with `absorbing[s]` set has no
// outgoing transition: the chain stops on first reaching the set.
StateSpace MakeAbsorbing(const StateSpace& space,
                         const std::vector<bool>& absorbing);

#endif  // GEN_SOLVE_TRANSIENT_H_
