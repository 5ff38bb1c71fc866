#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>

#include "solve/SolveRun.h"

namespace {

void OutOfMemory() {
  std::fputs("solve: out of memory\n", stderr);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  std::set_new_handler(OutOfMemory);
  return RunSolve(argc, argv, std::cout, std::cerr);
}
