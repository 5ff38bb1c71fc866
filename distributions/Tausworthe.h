#ifndef GEN_DISTRIBUTIONS_TAUSWORTHE_H_
#define GEN_DISTRIBUTIONS_TAUSWORTHE_H_

#include <cstdint>

#include "distributions/RandomNumberGenerator.h"

// A 31-bit Tausworthe (shift-register) generator: a shift left by 13 and
// right by 18, XORed into a 32-bit state. A seed whose low 31 bits are zero
// gives an all-zero stream.
class Tausworthe : public RandomNumberGenerator {
 public:
  Tausworthe() = default;

  double rnd() override;
  // Only the low 32 bits of `seed` are kept.
  void srnd(unsigned long seed) override;

 private:
  std::uint32_t state_ = 0;
};

#endif  // GEN_DISTRIBUTIONS_TAUSWORTHE_H_
