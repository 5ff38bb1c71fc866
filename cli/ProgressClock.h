#ifndef GEN_CLI_PROGRESSCLOCK_H_
#define GEN_CLI_PROGRESSCLOCK_H_

#include <chrono>
#include <functional>

// Whether a program prints progress lines on standard error: never with
// --quiet, always with --progress, otherwise when standard error is a
// terminal.
bool ProgressWanted(bool progress, bool quiet);

// Paces progress lines: none during the first `quiet_seconds` after
// construction, then at most one every `interval_seconds`.
class ProgressClock {
 public:
  // Seconds since some fixed point; steady.
  using Now = std::function<double()>;

  ProgressClock(double quiet_seconds, double interval_seconds);
  // With a clock of the caller's, for tests.
  ProgressClock(double quiet_seconds, double interval_seconds, Now now);

  // Whether a line is due; when it is, the line counts as given and
  // `*elapsed` holds the seconds since construction.
  bool Due(double* elapsed);

 private:
  Now now_;
  double start_;
  double quiet_;
  double interval_;
  double last_ = 0;  // seconds since construction of the last line
  bool given_ = false;
};

#endif  // GEN_CLI_PROGRESSCLOCK_H_
