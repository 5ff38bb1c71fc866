#ifndef GEN_DISTRIBUTIONS_LAGGEDFIBONACCI_H_
#define GEN_DISTRIBUTIONS_LAGGEDFIBONACCI_H_

#include <array>
#include <cstddef>

#include "distributions/RandomNumberGenerator.h"
#include "distributions/Rnd-KnuthLaggedFibonacci.h"

// Uniform numbers from Knuth's lagged-Fibonacci generator, handed out from
// a buffer of kRanfLongLag values that is refilled when used up.
//
// The generator state is program-wide, and so is the read position: every
// LaggedFibonacci object reads its own buffer at the one shared position,
// and srnd() does not move it. An unseeded object's buffer holds zeros.
class LaggedFibonacci : public RandomNumberGenerator {
 public:
  LaggedFibonacci() = default;

  double rnd() override;
  // Seeds the program-wide state and fills the buffer with the second block
  // of kRanfLongLag values after the seed.
  void srnd(unsigned long seed) override;

  // The shared read position, 0..kRanfLongLag; kRanfLongLag means the next
  // rnd() refills first. Tests reset it to the program-start value 0.
  static std::size_t ReadPosition() { return read_position_; }
  static void ResetReadPosition() { read_position_ = 0; }

 private:
  static std::size_t read_position_;
  std::array<double, kRanfLongLag> buffer_{};
};

#endif  // GEN_DISTRIBUTIONS_LAGGEDFIBONACCI_H_
