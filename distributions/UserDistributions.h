#ifndef GEN_DISTRIBUTIONS_USERDISTRIBUTIONS_H_
#define GEN_DISTRIBUTIONS_USERDISTRIBUTIONS_H_

#include "distributions/Distributions.h"

// Distributions over a chosen, seeded uniform generator.
class UserDistributions : public Distributions {
 public:
  // Unseeded LaggedFibonacci.
  UserDistributions();
  // kind 1: Tausworthe; kind 0 and any other kind: LaggedFibonacci. The
  // generator is seeded with `seed`.
  UserDistributions(int kind, long seed);
};

// The program's random variate object, built before main as
// UserDistributions(0, 31415), and the pointer through which the model draws.
extern UserDistributions TheGenerator;
extern Distributions* TheDistribution;

#endif  // GEN_DISTRIBUTIONS_USERDISTRIBUTIONS_H_
