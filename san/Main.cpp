#include "base/StandardErrors.h"
#include "results/Leftovers.h"
#include "san/SanDriver.h"

int main(int argc, char** argv) {
  InstallOutOfMemoryHandler();
  // Like gen: a closed pipe or the file-size limit is a failed write that
  // is reported, and an ending signal removes the unpublished files.
  PrepareSignalsForResults();
  return RunSan(argc, argv);
}
