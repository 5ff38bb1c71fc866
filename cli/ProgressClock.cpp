#include "cli/ProgressClock.h"

#include <unistd.h>

#include <utility>

bool ProgressWanted(bool progress, bool quiet) {
  if (quiet) return false;
  return progress || isatty(STDERR_FILENO) == 1;
}

namespace {

double SteadySeconds() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ProgressClock::ProgressClock(double quiet_seconds, double interval_seconds)
    : ProgressClock(quiet_seconds, interval_seconds, &SteadySeconds) {}

ProgressClock::ProgressClock(double quiet_seconds, double interval_seconds,
                             Now now)
    : now_(std::move(now)),
      start_(now_()),
      quiet_(quiet_seconds),
      interval_(interval_seconds) {}

bool ProgressClock::Due(double* elapsed) {
  const double seconds = now_() - start_;
  if (seconds < quiet_ || (given_ && seconds - last_ < interval_)) {
    return false;
  }
  given_ = true;
  last_ = seconds;
  *elapsed = seconds;
  return true;
}
