#ifndef GEN_SOLVE_ABSORPTION_H_
#define GEN_SOLVE_ABSORPTION_H_

#include <string>
#include <vector>

#include "solve/Stationary.h"

// Measures of absorption from state 0, taken from the excursion that
// SolveLongRun solves: per unit of time in state 0 the chain spends
// excursion_time[s] in transient state s and flows into the closed classes
// at absorbed_flow, so it stays 1 / absorbed_flow in state 0 before it is
// absorbed and excursion_time[s] / absorbed_flow in s.
struct AbsorptionMeasures {
  bool defined = false;
  std::string why_not;  // when not defined: the chain has nothing to absorb
  double time = 0;      // expected time until a closed class is entered
  double time_bound = 0;
  // Per earning-rate vector: the expected reward earned until then.
  std::vector<double> reward;
  std::vector<double> reward_bound;
};

AbsorptionMeasures ComputeAbsorption(
    const StationaryResult& result,
    const std::vector<const std::vector<double>*>& earning);

#endif  // GEN_SOLVE_ABSORPTION_H_
