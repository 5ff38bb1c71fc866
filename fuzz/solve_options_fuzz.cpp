// solve's option scan on arbitrary argument lists: every value an option
// takes (times, methods, accuracies, whole numbers, databases) goes through
// it before anything is read. The input is split into arguments at NUL
// bytes; argv[0] is the program name.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "solve/SolveRun.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SilenceStandardStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzArguments arguments("solve", data, size);
  const std::string error = SolveUsageError(arguments.argc(), arguments.argv());
  FuzzCheck(error.empty() || error.back() != '\n',
            "a usage error that ends its own line");
  FuzzCheck(error.rfind("solve: ", 0) != 0,
            "a usage error that names the program itself");
  // The scan keeps no state between runs: the same line, the same answer.
  FuzzCheck(SolveUsageError(arguments.argc(), arguments.argv()) == error,
            "a second scan that answers differently");
  return 0;
}
