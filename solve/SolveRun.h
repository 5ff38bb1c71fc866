#ifndef GEN_SOLVE_SOLVERUN_H_
#define GEN_SOLVE_SOLVERUN_H_

#include <ostream>
#include <string>

// The solve command: reads path + name + ".arm", ".var" and ".pvtype",
// solves the chain for its long-run distribution and writes, for each reward
// variable, the expected steady-state rate reward: an aligned table, or CSV
// with --csv. Results go to `out`, messages to `err`. Returns the exit
// status: 0 when the results were written, 1 for any error (usage, an
// unreadable or malformed file, a solver that failed, a failed write).
int RunSolve(int argc, const char* const* argv, std::ostream& out,
             std::ostream& err);

// What RunSolve would refuse in this command line, without reading or
// writing anything: the message it would print after "solve: ", or empty.
std::string SolveUsageError(int argc, const char* const* argv);

#endif  // GEN_SOLVE_SOLVERUN_H_
