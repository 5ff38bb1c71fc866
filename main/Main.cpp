#include "base/StandardErrors.h"
#include "main/Driver.h"
#include "results/Leftovers.h"

int main(int argc, char** argv) {
  InstallOutOfMemoryHandler();
  PrepareSignalsForResults();
  return RunMain(argc, argv);
}
