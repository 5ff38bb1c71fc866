#include "framework/StandardErrors.h"
#include "main/Driver.h"

int main(int argc, char** argv) {
  InstallOutOfMemoryHandler();
  return RunMain(argc, argv);
}
