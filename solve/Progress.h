#ifndef GEN_SOLVE_PROGRESS_H_
#define GEN_SOLVE_PROGRESS_H_

#include <cstddef>
#include <ostream>
#include <string>

#include "cli/ProgressClock.h"

// Progress lines on standard error while a solve takes long: nothing during
// the first kQuietSeconds, then at most one line a second, each with the
// phase, the iteration and its relative residual where there is one, and
// the time since the start:
//   solve: bicgstab, iteration 31, relative residual 2.1e-09, 4.2 s
//   solve: reading k5/k5.arm, 412 of 625 MB, 3.1 s
class Progress {
 public:
  // `err` null: silent. The stream must outlive the reporter.
  explicit Progress(std::ostream* err);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Starts a phase ("reading", "solving", "bounds", "transient").
  void Phase(const std::string& phase);
  // One iteration of the current phase.
  void Iteration(std::size_t iteration, double relative_residual);
  // `done` of `total` bytes of the current phase's file read.
  void Bytes(std::size_t done, std::size_t total);

  static constexpr double kQuietSeconds = 2.0;

 private:
  void Line(const std::string& text);

  std::ostream* err_;
  ProgressClock clock_{kQuietSeconds, 1.0};
  std::string phase_;
};

#endif  // GEN_SOLVE_PROGRESS_H_
