#include "base/StandardErrors.h"
#include "bench/genbench/GenBench.h"

int main(int argc, char** argv) {
  InstallOutOfMemoryHandler();
  return RunGenBench(argc, argv);
}
