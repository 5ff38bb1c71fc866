#include <csignal>
#include <iostream>

#include "solve/SolveRun.h"

int main(int argc, char** argv) {
  // A closed pipe or a file-size limit makes the write fail instead of
  // killing the process, so RunSolve reports it and exits 1. Allocation
  // failure is caught in RunSolve, which knows the size of the chain.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  return RunSolve(argc, argv, std::cout, std::cerr);
}
