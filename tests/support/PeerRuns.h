#ifndef GEN_TESTS_SUPPORT_PEERRUNS_H_
#define GEN_TESTS_SUPPORT_PEERRUNS_H_

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "tests/support/RunProcess.h"

// Whole runs of the built programs for the importers' tests: generate a
// chain, count it, solve it.

struct ChainCounts {
  std::size_t states = 0;
  std::size_t transitions = 0;  // (target, rate) entries of the .arm file
};

// Counts the chain of a text .arm file; zero states when it is unreadable.
ChainCounts CountChain(const std::string& arm_file);

// Runs `binary` with `args` in `dir` and expects exit 0 (a test failure
// with its error output otherwise).
ProcessResult RunOk(const std::string& binary,
                    const std::vector<std::string>& args,
                    const std::string& dir);

// solve --csv on dir/name: every row, reward variables and "property:NAME"
// rows alike, by its first field.
std::map<std::string, double> SolveCsv(const std::string& solve_binary,
                                       const std::string& dir,
                                       const std::string& name);

// Generates `model` (kanban or fms) with N = n in `dir` twice: compiled, by
// genbench, as dir/compiled.*, and imported, by san with `san_args` (the
// model file and the options before it) as dir/imported.*; counts both.
struct ChainPair {
  ChainCounts compiled;
  ChainCounts imported;
};
ChainPair GenerateBoth(const std::string& genbench_binary,
                       const std::string& san_binary, const std::string& dir,
                       const std::string& model, int n,
                       std::vector<std::string> san_args);

#endif  // GEN_TESTS_SUPPORT_PEERRUNS_H_
