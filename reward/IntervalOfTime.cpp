#include "reward/IntervalOfTime.h"

#include <algorithm>

IntervalOfTime::IntervalOfTime(bool time_averaged)
    : TimeAveraged(time_averaged) {}

void IntervalOfTime::Accumulate(double t, double last_time) {
  AccumulateOver(t, last_time, !TimeAveraged);
}

void IntervalOfTime::AccumulateOver(double t, double last_time, bool scale) {
  const double overlap = std::min(t, StopTime) - std::max(last_time, StartTime);
  Value = 0.0;
  Square = 0.0;
  Fraction = 1.0;
  if (overlap <= 0.0) return;  // nothing of the interval lies in this step
  const double reward = Reward_Function();
  const double length = StopTime - StartTime;
  Fraction = overlap / length;
  Status = t < StopTime ? 1 : 2;
  Value = scale ? reward * length : reward;
}

void IntervalOfTime::CurrentReward() { Value = Reward_Function(); }

void IntervalOfTime::Reset() {
  Value = 0.0;
  Status = 0;
}
