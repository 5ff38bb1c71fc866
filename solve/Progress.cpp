#include "solve/Progress.h"

#include <cstdio>

Progress::Progress(std::ostream* err) : err_(err) {}

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

void Progress::Bytes(std::size_t done, std::size_t total) {
  if (err_ == nullptr) return;
  constexpr double kMegabyte = 1e6;
  char text[96];
  std::snprintf(text, sizeof text, ", %.0f of %.0f MB",
                static_cast<double>(done) / kMegabyte,
                static_cast<double>(total) / kMegabyte);
  Line(phase_ + text);
}

void Progress::Line(const std::string& text) {
  if (err_ == nullptr) return;
  double elapsed = 0;
  if (!clock_.Due(&elapsed)) return;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, ", %.1f s\n", elapsed);
  *err_ << "solve: " << text << seconds << std::flush;
}
