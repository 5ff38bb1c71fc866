#include "solve/Absorption.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "solve/CompensatedSum.h"

namespace {

constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;

// The compensated sum of the products a_s b_s (b = 1 when null).
double WeightedSum(const std::vector<double>& a, const std::vector<double>* b) {
  CompensatedSum sum;
  for (std::size_t s = 0; s < a.size(); ++s) {
    if (a[s] != 0) sum.Add(b == nullptr ? a[s] : a[s] * (*b)[s]);
  }
  return sum.Value();
}

}  // namespace

AbsorptionMeasures ComputeAbsorption(
    const StationaryResult& result,
    const std::vector<const std::vector<double>*>& earning) {
  AbsorptionMeasures measures;
  if (result.irreducible) {
    measures.why_not =
        "the chain is irreducible: it has no absorbing class, so nothing is "
        "ever absorbed";
    return measures;
  }
  if (result.excursion_time.empty() || !(result.absorbed_flow > 0)) {
    measures.why_not =
        "state 1 lies in a closed class already: the chain starts absorbed";
    return measures;
  }
  const double flow = result.absorbed_flow;
  const double error = result.excursion_error;
  // The flow itself is off by at most the largest rate into the classes
  // times the error in the times.
  const double flow_error = result.max_absorbing_rate * error / flow;
  measures.defined = true;
  measures.time = WeightedSum(result.excursion_time, nullptr) / flow;
  measures.time_bound = error / flow + measures.time * flow_error +
                        4 * kUnitRoundoff * measures.time;
  for (const std::vector<double>* rate : earning) {
    const double value = WeightedSum(result.excursion_time, rate) / flow;
    double largest = 0;
    for (std::size_t s = 0; s < rate->size(); ++s) {
      if (result.excursion_time[s] != 0) {
        largest = std::max(largest, std::abs((*rate)[s]));
      }
    }
    measures.reward.push_back(value);
    measures.reward_bound.push_back(largest * error / flow +
                                    std::abs(value) * flow_error +
                                    4 * kUnitRoundoff * std::abs(value));
  }
  return measures;
}
