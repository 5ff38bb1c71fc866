#include <csignal>

#include "base/StandardErrors.h"
#include "main/Driver.h"

int main(int argc, char** argv) {
  InstallOutOfMemoryHandler();
  // A controlling process that stops reading must not kill the run without
  // a word: a write to a closed pipe then fails like any other write, and
  // the run ends with its error message and exit code 1.
  std::signal(SIGPIPE, SIG_IGN);
  return RunMain(argc, argv);
}
