#ifndef GEN_SOLVE_INITIALDISTRIBUTION_H_
#define GEN_SOLVE_INITIALDISTRIBUTION_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/Status.h"
#include "solve/ChainFiles.h"
#include "solve/Stationary.h"

// The initial distribution that a run whose model starts in several states
// leaves beside the chain (<path><name>.init): "init 1", then per initial
// state STATE<TAB>PROBABILITY, the states 1, 2, ... k in order, every line
// ended by a line feed. Without the file the chain starts in state 1.

// Parses the file into the probabilities of states 1..k (index 0 is state
// 1). Each must be in (0, 1], k at most `num_states`, and together they
// must make 1 within rounding.
Status ParseInitialDistribution(std::string_view text,
                                const std::string& file_name,
                                std::size_t num_states,
                                std::vector<double>* probabilities);
// As above, from the file; a missing file is no error, sets *exists to false
// and leaves `probabilities` empty.
Status ReadInitialDistribution(const std::string& file_name,
                               std::size_t num_states,
                               std::vector<double>* probabilities,
                               bool* exists);

// The distribution at time 0 over `num_states` states: `probabilities` on
// the first states, or state 0 alone when it is empty.
std::vector<double> StartVector(std::size_t num_states,
                                const std::vector<double>& probabilities);

// The chain with a start state in front: state 0 leads to state s + 1 at
// rate probabilities[s] * rate, and state s of `space` becomes s + 1. From
// state 0 the chain reaches every initial state with its probability after
// a sojourn of mean 1 / rate, so what the solvers compute from state 0 is
// the measure from the initial distribution (times shifted by 1 / rate).
StateSpace WithStartState(const StateSpace& space,
                          const std::vector<double>& probabilities,
                          double rate);

// SolveLongRun from the initial distribution: solved from the start state
// of WithStartState and given back in the chain's own numbering (the start
// state taken out of pi, the closed classes, the transient count and the
// excursion), so that ComputeAbsorption measures from the distribution.
StationaryResult SolveLongRunFrom(const StateSpace& space,
                                  const std::vector<double>& probabilities,
                                  const SolveOptions& options);

#endif  // GEN_SOLVE_INITIALDISTRIBUTION_H_
