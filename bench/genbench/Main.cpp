#include "base/StandardErrors.h"
#include "bench/genbench/GenBench.h"
#include "results/Leftovers.h"

int main(int argc, char** argv) {
  InstallOutOfMemoryHandler();
  PrepareSignalsForResults();
  return RunGenBench(argc, argv);
}
