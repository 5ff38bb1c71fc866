#ifndef GEN_REWARD_INTERVALOFTIME_H_
#define GEN_REWARD_INTERVALOFTIME_H_

#include "reward/PerformanceVariableWorker.h"

// A worker whose reward is accumulated over the interval
// [StartTime, StopTime]: time-averaged, or scaled by the interval length.
class IntervalOfTime : public PerformanceVariableWorker {
 public:
  IntervalOfTime() = default;
  explicit IntervalOfTime(bool time_averaged);

  void Accumulate(double t, double last_time) override;
  void CurrentReward() override;
  void Reset() override;

  double Fraction = 0.0;
  double StartTime = 0.0;
  double StopTime = 0.0;
  int Status = 0;  // 0 not started, 1 within the interval, 2 past its end
  bool TimeAveraged = false;

 protected:
  // Accumulate with the reward scaled by the interval length when `scale`.
  void AccumulateOver(double t, double last_time, bool scale);
};

#endif  // GEN_REWARD_INTERVALOFTIME_H_
