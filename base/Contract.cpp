#include "base/Contract.h"

#include <cerrno>  // program_invocation_short_name (glibc, _GNU_SOURCE)
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "base/Fatal.h"

void ContractViolation(const char* expression, const char* file, unsigned line,
                       const char* function) {
  FlushResultStreams();
  std::cout.flush();
  std::fprintf(stderr, "%s: %s:%u: %s: Assertion `%s' failed.\n",
               program_invocation_short_name, file, line, function, expression);
  std::fflush(stderr);
  std::abort();
}
