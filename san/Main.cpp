#include <csignal>

#include "base/StandardErrors.h"
#include "san/SanDriver.h"

int main(int argc, char** argv) {
  InstallOutOfMemoryHandler();
  // A closed pipe is reported like any failed write, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  return RunSan(argc, argv);
}
