#include "distributions/UserDistributions.h"

#include <memory>

#include "distributions/LaggedFibonacci.h"
#include "distributions/Tausworthe.h"

namespace {

// Generator kinds; kind 0 and unknown kinds give a LaggedFibonacci.
constexpr int kTauswortheKind = 1;

}  // namespace

// An allocation failure below goes through the out-of-memory handler, which
// reports MemoryAllocationError.
UserDistributions::UserDistributions() {
  Generator = std::make_unique<LaggedFibonacci>();
}

UserDistributions::UserDistributions(int kind, long seed) {
  Generator.reset();
  if (kind == kTauswortheKind) {
    Generator = std::make_unique<Tausworthe>();
  } else {
    Generator = std::make_unique<LaggedFibonacci>();
  }
  Generator->srnd(static_cast<unsigned long>(seed));
}

// Seeding touches only the Knuth state and the read position, which are
// constant-initialised, so this is safe in any order of static construction.
UserDistributions TheGenerator(0, 31415);
Distributions* TheDistribution = &TheGenerator;
