#ifndef GEN_REWARD_STEADYSTATE_H_
#define GEN_REWARD_STEADYSTATE_H_

#include "reward/IntervalOfTime.h"

// A time-averaged worker for steady-state rewards. Its current reward also
// keeps the square, and Reset moves the interval forward by its length
// (successive batches).
class SteadyState : public IntervalOfTime {
 public:
  SteadyState();

  void Accumulate(double t, double last_time) override;
  void CurrentReward() override;
  void Reset() override;
};

#endif  // GEN_REWARD_STEADYSTATE_H_
