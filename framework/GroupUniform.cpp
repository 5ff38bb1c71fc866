#include "distributions/Distributions.h"
#include "distributions/UserDistributions.h"
#include "framework/BaseGroupClass.h"

namespace {

double (*test_source)() = nullptr;

}  // namespace

double DrawGroupUniform() {
  if (test_source != nullptr) return test_source();
  return TheDistribution->Generator->rnd();
}

void SetGroupUniformSourceForTesting(double (*source)()) {
  test_source = source;
}
