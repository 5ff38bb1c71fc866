#ifndef GEN_DISTRIBUTIONS_RANDOMNUMBERGENERATOR_H_
#define GEN_DISTRIBUTIONS_RANDOMNUMBERGENERATOR_H_

// A source of uniform random numbers. The base class is a null generator:
// rnd() always answers 0.0 and srnd() ignores its seed.
class RandomNumberGenerator {
 public:
  RandomNumberGenerator() = default;
  RandomNumberGenerator(const RandomNumberGenerator&) = delete;
  RandomNumberGenerator& operator=(const RandomNumberGenerator&) = delete;
  virtual ~RandomNumberGenerator();

  // Next uniform number, in [0, 1).
  virtual double rnd();
  // Restarts the stream from `seed`.
  virtual void srnd(unsigned long seed);
};

#endif  // GEN_DISTRIBUTIONS_RANDOMNUMBERGENERATOR_H_
