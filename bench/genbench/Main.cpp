#include "bench/genbench/GenBench.h"
#include "framework/StandardErrors.h"

int main(int argc, char** argv) {
  InstallOutOfMemoryHandler();
  return RunGenBench(argc, argv);
}
