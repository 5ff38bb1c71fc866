#ifndef GEN_SOLVE_AGGREGATION_H_
#define GEN_SOLVE_AGGREGATION_H_

#include <Eigen/Core>

#include "solve/ScaledSystem.h"
#include "solve/SolveMethods.h"

// Iterative aggregation-disaggregation for nearly decomposable chains
// (Koury, McAllister and Stewart): the states fall into blocks, the
// strongly connected components of the jumps of probability at least
// 1e-4. Each step solves the chain of the blocks exactly, each block
// weighted by the current shape of the solution inside it, rescales every
// block to its aggregate, and smooths with a few Gauss-Seidel sweeps. The
// sweeps settle the shape within the blocks quickly; the aggregated chain
// settles the slow flow between them, which is what leaves plain sweeps
// and the Krylov methods stuck. Refused when the chain has one block or
// more than 500.
MethodSolve SolveByAggregation(const ScaledSystem& system,
                               const SolveOptions& options, Eigen::VectorXd* z);

#endif  // GEN_SOLVE_AGGREGATION_H_
