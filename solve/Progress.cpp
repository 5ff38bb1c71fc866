#include "solve/Progress.h"

#include <cstdio>

Progress::Progress(std::ostream* err)
    : err_(err), start_(std::chrono::steady_clock::now()) {}

void Progress::Phase(const std::string& phase) {
  phase_ = phase;
  Line(phase_);
}

void Progress::Iteration(std::size_t iteration, double relative_residual) {
  if (err_ == nullptr) return;
  char text[96];
  std::snprintf(text, sizeof text, ", iteration %zu, relative residual %.1e",
                iteration, relative_residual);
  Line(phase_ + text);
}

void Progress::Line(const std::string& text) {
  if (err_ == nullptr) return;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_)
          .count();
  if (elapsed < kQuietSeconds || elapsed - last_line_ < 1.0) return;
  last_line_ = elapsed;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, ", %.1f s\n", elapsed);
  *err_ << "solve: " << text << seconds << std::flush;
}
