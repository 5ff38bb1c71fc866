#ifndef GEN_SOLVE_STATIONARY_H_
#define GEN_SOLVE_STATIONARY_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "solve/ChainFiles.h"
#include "solve/SolveMethods.h"

// Long-run distribution of a continuous-time Markov chain given by its
// transition rates, seen from state 0 (state 1 of the file).
//
// Every linear system solved here has the form y (-Q_SS) = c for a set S of
// states, with Q the generator matrix: the stationary distribution of a
// closed class with one reference state fixed at 1, and the expected time
// spent in the transient states before absorption. -Q_SS is a non-singular
// M-matrix whose rows dominate their diagonal, so its transpose factors
// stably with the diagonal as pivots, and Gauss-Seidel on it needs no
// subtraction at all.

// A closed class that the chain cannot leave (a bottom strongly connected
// component) and the probability of ending in it from state 0.
struct BottomClass {
  std::uint32_t first_state = 0;  // its smallest state, 0-based
  std::size_t size = 0;
  double probability = 0;
};

struct [[nodiscard]] StationaryResult {
  bool ok = false;
  std::string message;     // why not ok; a note when ok (may be empty)
  std::vector<double> pi;  // per state; sums to 1; 0 on transient states
  bool irreducible = false;
  std::size_t num_unreachable = 0;   // states that state 0 never reaches
  std::size_t num_transient = 0;     // reached, not in a closed class
  std::vector<BottomClass> bottoms;  // the closed classes reached from 0
  // Where the chain starts, for messages.
  std::string start = "state 1";
  // The method of the largest system solved, and the largest of that
  // system's figures (1 system for an irreducible chain).
  SolveMethod method = SolveMethod::kDirect;
  std::size_t largest_system = 0;  // unknowns
  std::size_t iterations = 0;      // iterations and Gauss-Seidel sweeps
  // Componentwise backward error of the linear solve, max_j |r_j| / (|c| +
  // |B| |z|)_j: small only if the rare states' equations hold as well as
  // the common ones'.
  double backward_error = 0;
  // The methods run on any of the systems, in the order first run.
  std::vector<std::string> methods_tried;
  // ||pi Q||_1, and the same divided by ||Q||_inf (twice the largest exit
  // rate): near 1e-16 for a solution as accurate as the doubles allow.
  double residual = 0;
  double relative_residual = 0;
  // For a chain with transient states: how far the flow out of state 0 in
  // one excursion misses the sum of the flows back to it and into the
  // closed classes, relative to it.
  double absorption_defect = 0;
  // Bound on sum_s |pi(s) - exact pi(s)|, to first order in the residuals of
  // the linear solves (infinite when a bound could not be computed).
  double pi_error = 0;
  // Sharp bounds, when computed (at most 64 closed classes, every system at
  // most gth_limit unknowns; empty otherwise, infinite where a solve
  // failed): per reward of SolveOptions::rewards, the error of its expected
  // value; per closed class, of its probability; the error of the expected
  // time and of each reward until absorption.
  std::vector<double> reward_error;
  // With SolveOptions::reward_weights, beside reward_error: each reward's
  // value as its bound is about, the classes' ratios mixed by their
  // probabilities.
  std::vector<double> reward_value;
  std::vector<double> class_probability_error;
  double absorption_time_error = std::numeric_limits<double>::infinity();
  std::vector<double> absorption_reward_error;

  // Only when states reached from 0 lie outside every closed class: the
  // expected time spent in each state during one excursion from state 0,
  // per unit of time spent in state 0 (1 at state 0, 0 outside the
  // transient states), and the flow into the closed classes during it.
  // Summed and divided by the flow, these give the expected time until
  // absorption.
  std::vector<double> excursion_time;
  double absorbed_flow = 0;
  double excursion_error = 0;  // bound on the 1-norm error of the times
  // largest total rate from one transient state into the closed classes
  double max_absorbing_rate = 0;
  double probability_error = 0;  // bound on the error of each probability
};

// Solves for the long-run distribution from state 0: the stationary
// distribution when the chain is irreducible, otherwise the limiting
// distribution: the probability of being absorbed in each closed class
// times that class's stationary distribution.
StationaryResult SolveLongRun(const StateSpace& space,
                              const SolveOptions& options);

// Sum over states of pi times `reward`, compensated for rounding.
double ExpectedReward(const std::vector<double>& pi,
                      const std::vector<double>& reward);

// Bound on the error of ExpectedReward(pi, reward) given a bound on the
// 1-norm error of pi: pi and its exact value both sum to 1, so the error is
// at most pi_error times half the spread of the reward, plus rounding.
double ExpectedRewardBound(double pi_error, double value,
                           const std::vector<double>& reward);

// The per-state reward rate that a variable earns: its rate reward plus, for
// each transition out of the state (self-loops included), the rate times
// the impulse reward recorded for the transition's target. The impulse in a
// state's record is the reward of entering that state.
std::vector<double> EarningRate(const StateSpace& space,
                                const std::vector<double>& rate_reward,
                                const std::vector<double>& impulse_reward);

#endif  // GEN_SOLVE_STATIONARY_H_
