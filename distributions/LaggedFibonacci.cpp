#include "distributions/LaggedFibonacci.h"

// Constant-initialised: valid before any static constructor runs.
std::size_t LaggedFibonacci::read_position_ = 0;

double LaggedFibonacci::rnd() {
  if (read_position_ >= buffer_.size()) {
    ranf_array(buffer_.data(), buffer_.size());
    read_position_ = 0;
  }
  return buffer_[read_position_++];
}

void LaggedFibonacci::srnd(unsigned long seed) {
  ranf_start(static_cast<long>(seed));
  ranf_array(buffer_.data(), buffer_.size());
  ranf_array(buffer_.data(), buffer_.size());
}
