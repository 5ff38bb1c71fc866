#include "distributions/Tausworthe.h"

namespace {

constexpr double kTwoToMinus31 = 1.0 / 2147483648.0;

}  // namespace

double Tausworthe::rnd() {
  const std::uint32_t t = ((state_ << 13) ^ state_) & 0x7fffffffu;
  state_ = t ^ (t >> 18);
  return state_ * kTwoToMinus31;
}

void Tausworthe::srnd(unsigned long seed) {
  state_ = static_cast<std::uint32_t>(seed);
}
