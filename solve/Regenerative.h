#ifndef GEN_SOLVE_REGENERATIVE_H_
#define GEN_SOLVE_REGENERATIVE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "solve/DeterministicChain.h"
#include "solve/Stationary.h"

// Long-run time averages of a chain with deterministic and exponential
// activities, by its embedded Markov renewal process.
//
// Assumptions (each refused with a message naming the state otherwise): at
// most one deterministic activity is enabled in a state; while it stays
// enabled across exponential firings (flag "c"), its delay does not change.
// An exponential firing that disables it (flag "r") restarts its clock: the
// activity has enabling memory and races the exponential ones.
//
// Regeneration points: every entry into a state by a deterministic firing
// or by an exponential firing that restarts a clock, and every exponential
// firing out of a state without a deterministic activity. From a state i
// whose activity has delay d, the chain until the next such point is the
// subordinated chain: the states reached by "c" firings, left by "r"
// firings. Its transient over [0, d], by uniformization, gives the row of
// the embedded kernel (the activity's branches from where the chain is at
// d, and the "r" exits before d) and the expected time in each state. The
// embedded chain is solved like a continuous-time chain with its kernel as
// rates (the same stationary vector), and each closed class's vector is
// turned into time averages by the expected times.
struct RegenerativeOptions {
  SolveOptions solve;
  // Poisson mass left out of each series, per row of the kernel: below the
  // rounding of the kernel's entries.
  double epsilon = 1e-30;
  // A delay whose series would need more terms is refused.
  std::size_t max_terms = 10000000;
  // Per reward variable, per state: the earning rate (rate reward and the
  // impulses of exponential firings) and the impulse of entering the state
  // by a deterministic firing. Given, each variable's long-run value gets a
  // bound of its own through the embedded chain, where the 1-norm bound of
  // pi would be far wider on a value far below the earning rate's spread.
  // May be null; must outlive the solve.
  const std::vector<std::vector<double>>* earning = nullptr;
  const std::vector<std::vector<double>>* impulse = nullptr;
};

struct [[nodiscard]] RegenerativeResult {
  bool ok = false;
  std::string message;     // why not ok
  std::vector<double> pi;  // per state: long-run fraction of time
  // Bound on sum_s |pi(s) - exact|.
  double pi_error = 0;
  // Per state: whether pi or the exact time average may be positive there;
  // both are 0 elsewhere, so pi_error spreads over these states alone.
  std::vector<bool> support;
  // Per state: long-run rate of deterministic firings into it, and a bound
  // on the 1-norm error of these rates.
  std::vector<double> firing_rate;
  double firing_error = 0;
  // Per reward variable of the chain's impulse_names: the long-run rate at
  // which deterministic firings earn its impulses, and a bound on its error.
  std::vector<double> impulse_rate;
  std::vector<double> impulse_error;
  // With RegenerativeOptions::earning, where the embedded chain's bounds
  // were sharpened (empty otherwise): per variable, its long-run value, the
  // ratio of what each regeneration interval earns to its length per closed
  // class, mixed by the classes' probabilities, and a bound on its error,
  // the series' truncation included.
  std::vector<double> reward_value;
  std::vector<double> reward_error;
  // The embedded chain: its solve (classes numbered as states of the
  // chain, from 0) and its size.
  StationaryResult embedded;
  std::size_t embedded_states = 0;
  std::size_t series_terms = 0;  // the longest series summed
};

RegenerativeResult SolveRegenerative(const DeterministicChain& chain,
                                     const RegenerativeOptions& options);

#endif  // GEN_SOLVE_REGENERATIVE_H_
