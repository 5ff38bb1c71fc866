#ifndef GEN_SOLVE_SOLVEMETHODS_H_
#define GEN_SOLVE_SOLVEMETHODS_H_

#include <Eigen/Core>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "solve/Krylov.h"
#include "solve/Progress.h"
#include "solve/ScaledSystem.h"

class TwoWayPool;

// The methods that solve the scaled systems B z = c of Stationary.cpp, one
// row each in one table: the command line, the help text, the fallback
// order of `auto` and the documentation all read it. A new method is a
// function of the MethodFunction shape and one row.

enum class SolveMethod {
  kAuto,         // every row that fits, in table order
  kDirect,       // sparse LU with iterative refinement
  kGth,          // Grassmann-Taksar-Heyman state reduction, dense
  kBiCgStab,     // BiCGSTAB preconditioned by an incomplete LU
  kGmres,        // restarted GMRES preconditioned by ILU(0)
  kAggregation,  // iterative aggregation-disaggregation
  kGaussSeidel,  // Gauss-Seidel sweeps
};

struct SolveOptions {
  SolveMethod method = SolveMethod::kAuto;
  // Largest system that auto gives the sparse LU: the LU factors of the
  // benchmark chains fill in to nearly dense (Kanban 2, 4,600 states: 3 s;
  // BiCGSTAB with ILU(0) takes 0.08 s).
  std::size_t direct_limit = 1000;
  // Beyond direct_limit, auto still gives the sparse LU its place in the
  // table where the factor of B's symmetric pattern promises at most this
  // many entries (SparseLuLooksCheap); 0 leaves it to the last resort.
  double cheap_lu_entries = 5e7;
  // Largest system that auto gives the dense state reduction: (n + 1)^2
  // doubles and n^3 / 3 multiply-adds (2,500 unknowns: 50 MB, seconds).
  std::size_t gth_limit = 2500;
  // Componentwise backward error at which the iterative methods stop, and
  // below which every solution is polished by Gauss-Seidel sweeps.
  double tolerance = 1e-13;
  std::size_t max_iterations = 20000;
  // Whether to compute error bounds, which costs one more solve of the same
  // size (the adjoint system).
  bool bounds = true;
  // Relative bound that auto requires of a solution before it stops trying
  // methods (with bounds only).
  double accuracy = 1e-6;
  // Memory in bytes that the bounds of a large system may take beside the
  // chain; 0: what the system has available when they start (MemAvailable).
  // Where the checked bound does not fit, the residual's bound from an
  // adjoint solve takes its place.
  std::size_t bound_memory = 0;
  // Per-state reward rates whose expected values get bounds of their own
  // (StationaryResult::reward_error); may be null. Must outlive the solve.
  const std::vector<std::vector<double>>* rewards = nullptr;
  // With rewards: per-state weights d >= 0 that make each reward u the
  // ratio u.pi / d.pi per closed class (the classes' values then mixed by
  // their probabilities), as the time averages of an embedded chain are;
  // null: d = 1. Given, only the bounds of small systems are sharpened
  // (SharpenBounds). Must outlive the solve.
  const std::vector<double>* reward_weights = nullptr;
  // Told of the phases and iterations of long solves; may be null.
  Progress* progress = nullptr;
  // The threads of the in-place iteration; may be null (one thread, the
  // work undivided). Results do not depend on its thread count.
  TwoWayPool* pool = nullptr;
};

// What a method made of the system: z is its solution when `error` is empty.
struct [[nodiscard]] MethodSolve {
  std::size_t iterations = 0;  // iterations or sweeps; 0 for direct methods
  std::string error;
  // A bound on the relative error of every component of z that holds
  // whatever the conditioning of the chain (the state reduction's); infinite
  // for the methods that have none.
  double componentwise = std::numeric_limits<double>::infinity();
};

// The componentwise bound of the state reduction on n unknowns: it computes
// the exact solution of a chain whose jump probabilities are each perturbed
// by a factor within (1 +- (n + 4) u), one elimination at a time, and a
// factor within (1 +- e) on every rate moves every ratio of the solution by
// a factor within ((1 + e) / (1 - e))^n at most (each entry is a sum of
// products of n rates over spanning forests of the chain). Summed over the
// n eliminations and the substitutions: about (2/3) n^3 u; this returns
// twice (n + 2)^3 u.
double StateReductionBound(std::size_t n);

// Whether the sparse LU of B promises to be cheap: the factor of a
// symmetric matrix of B + B^T's pattern in a minimum-degree order, counted
// without being formed, has at most `max_entries` entries below its
// diagonal and needs at most `max_products` multiply-adds, and twice that
// factor (L and U) takes at most half the memory available. The count
// stops at the limit, so a chain whose factors would fill in to hours (a
// Kanban chain) costs no more to refuse than a cheap one to accept. A
// queue of two dimensions (500 x 500 levels: 1.3e7 entries, 3.6e9 products)
// passes; Kanban N = 3 (3.6e8 entries, 5e12 products) does not.
bool SparseLuLooksCheap(const ScaledSystem::Matrix& b, double max_entries,
                        double max_products);

using MethodFunction = MethodSolve (*)(const ScaledSystem& system,
                                       const SolveOptions& options,
                                       Eigen::VectorXd* z);

struct MethodRow {
  SolveMethod id;
  const char* name;     // for --method and the report
  const char* summary;  // one line for --help
  MethodFunction solve;
  // Whether auto tries this row on a system of n unknowns.
  bool (*fits)(std::size_t n, const SolveOptions& options);
};

// Each iteration told to `progress`; null where there is none.
IterationReport ReportTo(Progress* progress);

// The rows in the order auto tries them.
const std::vector<MethodRow>& SolveMethodTable();

// The row of `method`; null for kAuto.
const MethodRow* FindSolveMethod(SolveMethod method);

// The method named `name` ("auto" included); false when none is.
bool ParseSolveMethod(std::string_view name, SolveMethod* method);

// "auto", then every row's name, separated by `separator`.
std::string SolveMethodNames(const char* separator);

// The name of `method` ("auto" for kAuto).
const char* SolveMethodName(SolveMethod method);

// Gauss-Seidel sweeps from the current z until the backward error is at most
// `tolerance`, checked every few sweeps (and reported to `report`, when
// given); returns the sweeps made.
std::size_t GaussSeidelSweeps(const ScaledSystem& system,
                              std::size_t max_sweeps, double tolerance,
                              Eigen::VectorXd* z,
                              const IterationReport& report = nullptr);

#endif  // GEN_SOLVE_SOLVEMETHODS_H_
