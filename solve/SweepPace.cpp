#include "solve/SweepPace.h"

#include <algorithm>
#include <cmath>
#include <limits>

SweepPace::SweepPace(double start, double goal, std::size_t limit)
    : start_(start),
      goal_(goal),
      limit_(limit),
      lowest_(start),
      stretch_lowest_(start) {}

double SweepPace::Needed(double fall, double sweeps) const {
  if (!(fall < 1)) return std::numeric_limits<double>::infinity();
  return sweeps * std::log(goal_ / lowest_) / std::log(fall);
}

bool SweepPace::GoOn(std::size_t sweep, double norm) {
  if (!std::isfinite(norm)) return false;
  if (norm < lowest_) lowest_ = norm;
  if (sweep % kStretch != 0 || lowest_ <= goal_) return true;
  const double done = static_cast<double>(sweep);
  const double overall = Needed(lowest_ / start_, done);
  const double recent =
      Needed(lowest_ / stretch_lowest_, static_cast<double>(kStretch));
  stretch_lowest_ = lowest_;
  return done + std::min(overall, recent) <= static_cast<double>(limit_);
}

bool SweepPatience::GoOn(std::size_t sweep, double measure) {
  if (measure <= last_halving_ / 2) {
    last_halving_ = measure;
    last_halving_at_ = sweep;
    return true;
  }
  return sweep - last_halving_at_ < patience_;
}
