#include "reward/SteadyState.h"

SteadyState::SteadyState() : IntervalOfTime(true) {}

void SteadyState::Accumulate(double t, double last_time) {
  AccumulateOver(t, last_time, false);
}

void SteadyState::CurrentReward() {
  Value = Reward_Function();
  Square = Value * Value;
}

void SteadyState::Reset() {
  IntervalOfTime::Reset();
  Square = 0.0;
  const double length = StopTime - StartTime;
  StartTime = StopTime;
  StopTime = StopTime + length;
}
