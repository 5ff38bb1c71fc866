#include "solve/SolveMethods.h"

#include <Eigen/IterativeLinearSolvers>
#include <Eigen/OrderingMethods>
#include <Eigen/SparseLU>
#include <cmath>

#include "solve/Aggregation.h"
#include "solve/AvailableMemory.h"
#include "solve/Krylov.h"
#include "solve/StateReduction.h"

namespace {

using ColMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
using RowMatrix = ScaledSystem::Matrix;
using Vector = Eigen::VectorXd;

// A solution whose backward error stays above this is not worth polishing
// further with another BiCGSTAB.
constexpr double kAcceptableBackwardError = 1e-9;

double RelativeResidual(const RowMatrix& b, const Vector& z, const Vector& c) {
  const double norm_c = c.lpNorm<1>();
  const double r = (c - b * z).lpNorm<1>();
  return norm_c > 0 ? r / norm_c : r;
}

MethodSolve SolveDirect(const ScaledSystem& system, const SolveOptions&,
                        Vector* z) {
  const ColMatrix b = system.b;
  Eigen::SparseLU<ColMatrix, Eigen::COLAMDOrdering<int>> lu;
  lu.analyzePattern(b);
  lu.factorize(b);
  if (lu.info() != Eigen::Success) {
    return {0, "sparse LU factorisation failed: " + lu.lastErrorMessage()};
  }
  *z = lu.solve(system.c);
  // Iterative refinement: cheap with the factors at hand, and it recovers
  // digits that cancellation in the pivots may have cost.
  double residual = RelativeResidual(system.b, *z, system.c);
  for (int step = 0; step < 3 && residual > 0; ++step) {
    const Vector refined = *z + lu.solve(system.c - system.b * *z);
    const double refined_residual =
        RelativeResidual(system.b, refined, system.c);
    if (!(refined_residual < residual)) break;
    *z = refined;
    residual = refined_residual;
  }
  return {};
}

// State reduction: exact in practice on stiff and nearly decomposable
// chains, since c >= 0 keeps the whole solve free of subtractions.
MethodSolve SolveGth(const ScaledSystem& system, const SolveOptions&,
                     Vector* z) {
  StateReduction reduction;
  if (!reduction.Factor(system)) {
    return {0, "state reduction found no way out of state " +
                   std::to_string(system.states[reduction.failed_state()] + 1)};
  }
  *z = system.c;
  reduction.SolveNonNegative(false, z);
  MethodSolve solved;
  solved.componentwise = StateReductionBound(system.states.size());
  return solved;
}

template <typename Preconditioner>
std::size_t RunBiCgStab(const ScaledSystem& system, const SolveOptions& options,
                        Eigen::BiCGSTAB<RowMatrix, Preconditioner>* solver,
                        Vector* z) {
  solver->setTolerance(options.tolerance);
  solver->setMaxIterations(static_cast<Eigen::Index>(options.max_iterations));
  solver->compute(system.b);
  if (solver->info() != Eigen::Success) return 0;
  *z = solver->solveWithGuess(system.c, system.c);
  return static_cast<std::size_t>(solver->iterations());
}

// First BiCGSTAB with an ILU(0) preconditioner, which keeps B's pattern and
// cuts the iterations several times over on the benchmark chains. Then plain
// BiCGSTAB (B's unit diagonal makes it Jacobi preconditioned already), and
// last Eigen's thresholded incomplete LU, which fills in heavily on large
// chains.
MethodSolve SolveBiCgStab(const ScaledSystem& system,
                          const SolveOptions& options, Vector* z) {
  MethodSolve outcome;
  {
    Ilu0 ilu;
    if (ilu.Compute(system.b)) {
      *z = system.c;
      const KrylovOutcome krylov =
          PreconditionedBiCgStab(MatrixOperator(system.b), ilu, false, system.c,
                                 options.tolerance, options.max_iterations, z);
      outcome.iterations += krylov.iterations;
      if (krylov.converged && z->allFinite() &&
          BackwardError(system.b, *z, system.c) <= kAcceptableBackwardError) {
        return outcome;
      }
    }
  }
  Eigen::BiCGSTAB<RowMatrix, Eigen::IdentityPreconditioner> plain;
  outcome.iterations += RunBiCgStab(system, options, &plain, z);
  if (plain.info() == Eigen::Success && z->allFinite() &&
      BackwardError(system.b, *z, system.c) <= kAcceptableBackwardError) {
    return outcome;
  }
  const Vector first_try = *z;
  Eigen::BiCGSTAB<RowMatrix, Eigen::IncompleteLUT<double, int>> ilu;
  ilu.preconditioner().setDroptol(1e-4);
  ilu.preconditioner().setFillfactor(10);
  outcome.iterations += RunBiCgStab(system, options, &ilu, z);
  if (ilu.info() == Eigen::Success && z->allFinite()) return outcome;
  // Keep the first result for the polishing sweeps if it is usable.
  if (first_try.size() == system.c.size() && first_try.allFinite()) {
    *z = first_try;
  } else {
    outcome.error = "BiCGSTAB broke down, with and without an incomplete LU";
  }
  return outcome;
}

// Restart length of GMRES: 50 vectors of the system's size.
constexpr std::size_t kGmresRestart = 50;

// GMRES(m) with ILU(0): slower per step than BiCGSTAB but it minimises the
// residual, so it neither breaks down nor stalls where BiCGSTAB does. It
// stops on the componentwise backward error, like the in-place BiCGSTAB.
MethodSolve SolveGmres(const ScaledSystem& system, const SolveOptions& options,
                       Vector* z) {
  Ilu0 ilu;
  if (!ilu.Compute(system.b)) {
    return {0, "GMRES: the incomplete LU has a pivot that is not positive"};
  }
  *z = system.c;
  const KrylovOutcome krylov = PreconditionedGmres(
      MatrixOperator(system.b), ilu, false, system.c, options.tolerance,
      options.max_iterations, kGmresRestart, z,
      [&](const Vector& x, Vector*, Vector*) {
        return BackwardError(system.b, x, system.c) <= options.tolerance;
      },
      ReportTo(options.progress));
  if (!z->allFinite()) {
    return {krylov.iterations, "GMRES produced values that are not finite"};
  }
  // Not converged: the polishing sweeps may still finish it.
  return {krylov.iterations, {}};
}

MethodSolve SolveGaussSeidel(const ScaledSystem& system,
                             const SolveOptions& options, Vector* z) {
  *z = system.c;
  return {GaussSeidelSweeps(system, options.max_iterations, options.tolerance,
                            z, ReportTo(options.progress)),
          {}};
}

bool Always(std::size_t, const SolveOptions&) { return true; }

}  // namespace

double StateReductionBound(std::size_t n) {
  const double size = static_cast<double>(n) + 2;
  return 2 * size * size * size * std::numeric_limits<double>::epsilon() / 2;
}

bool SparseLuLooksCheap(const RowMatrix& b, double max_entries,
                        double max_products) {
  const std::size_t available = AvailableMemory();
  if (available != 0 &&
      2 * max_entries * (sizeof(double) + sizeof(int)) > available / 2.0) {
    max_entries = available / 4.0 / (sizeof(double) + sizeof(int));
  }
  const auto n = static_cast<int>(b.rows());
  // The pattern of B + B^T, ordered by approximate minimum degree.
  const ColMatrix pattern = b;
  ColMatrix symmetric = pattern + ColMatrix(pattern.transpose());
  symmetric.makeCompressed();
  Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> inverse;
  Eigen::AMDOrdering<int>()(symmetric, inverse);
  const Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> order =
      inverse.inverse();
  const int* place = order.indices().data();
  // The ordered pattern's entries above the diagonal, column by column.
  std::vector<int> start(static_cast<std::size_t>(n) + 1, 0);
  for (int j = 0; j < n; ++j) {
    for (ColMatrix::InnerIterator it(symmetric, j); it; ++it) {
      const int row = place[it.row()];
      const int column = place[j];
      if (row < column) ++start[static_cast<std::size_t>(column) + 1];
    }
  }
  for (int j = 0; j < n; ++j) {
    start[static_cast<std::size_t>(j) + 1] +=
        start[static_cast<std::size_t>(j)];
  }
  std::vector<int> rows(static_cast<std::size_t>(start.back()));
  std::vector<int> next(start.begin(), start.end() - 1);
  for (int j = 0; j < n; ++j) {
    for (ColMatrix::InnerIterator it(symmetric, j); it; ++it) {
      const int row = place[it.row()];
      const int column = place[j];
      if (row < column) {
        rows[static_cast<std::size_t>(
            next[static_cast<std::size_t>(column)]++)] = row;
      }
    }
  }
  // Row k of the factor is the set of the elimination tree's nodes met
  // walking up from each entry of column k above the diagonal: each node
  // met once per row is one entry of its column.
  std::vector<int> parent(static_cast<std::size_t>(n), -1);
  std::vector<int> flag(static_cast<std::size_t>(n), -1);
  std::vector<double> count(static_cast<std::size_t>(n), 0.0);
  double entries = 0;
  for (int k = 0; k < n; ++k) {
    flag[static_cast<std::size_t>(k)] = k;
    for (int p = start[static_cast<std::size_t>(k)];
         p < start[static_cast<std::size_t>(k) + 1]; ++p) {
      for (int i = rows[static_cast<std::size_t>(p)];
           flag[static_cast<std::size_t>(i)] != k;
           i = parent[static_cast<std::size_t>(i)]) {
        if (parent[static_cast<std::size_t>(i)] == -1) {
          parent[static_cast<std::size_t>(i)] = k;
        }
        count[static_cast<std::size_t>(i)] += 1;
        flag[static_cast<std::size_t>(i)] = k;
        if (++entries > max_entries) return false;
      }
    }
  }
  double products = 0;
  for (const double c : count) products += c * c;
  return products <= max_products;
}

std::size_t GaussSeidelSweeps(const ScaledSystem& system,
                              std::size_t max_sweeps, double tolerance,
                              Vector* z, const IterationReport& report) {
  // Row j of B holds the jump probabilities into j, negated, so a sweep adds
  // non-negative terms only: the iterates stay non-negative and lose nothing
  // to cancellation, and the small components converge as well as the large.
  const RowMatrix& b = system.b;
  constexpr std::size_t kCheckEvery = 10;
  for (std::size_t sweep = 1; sweep <= max_sweeps; ++sweep) {
    for (int j = 0; j < b.rows(); ++j) {
      double sum = system.c[j];
      for (RowMatrix::InnerIterator it(b, j); it; ++it) {
        if (it.col() != j) sum -= it.value() * (*z)[it.col()];
      }
      (*z)[j] = sum;
    }
    if (sweep % kCheckEvery == 0 || sweep == max_sweeps) {
      const double error = BackwardError(b, *z, system.c);
      if (report) report(sweep, error);
      if (error <= tolerance || !std::isfinite(error)) return sweep;
    }
  }
  return max_sweeps;
}

IterationReport ReportTo(Progress* progress) {
  if (progress == nullptr) return nullptr;
  return [progress](std::size_t iteration, double residual) {
    progress->Iteration(iteration, residual);
  };
}

const std::vector<MethodRow>& SolveMethodTable() {
  // The order is auto's: the state reduction, exact in practice however
  // stiff or nearly decomposable the chain, while its dense matrix fits (the
  // error bounds factor the same matrix anyway); the sparse LU where its
  // fill-in is cheap; BiCGSTAB for the large chains; and the sweeps, slow
  // but free of cancellation, last.
  static const std::vector<MethodRow> kTable = {
      {SolveMethod::kGth, "gth",
       "dense state reduction, exact in practice (auto: to 2500)", SolveGth,
       [](std::size_t n, const SolveOptions& o) { return n <= o.gth_limit; }},
      {SolveMethod::kDirect, "direct",
       "sparse LU, refined (auto: up to --direct-limit, to 1e6 where its fill "
       "is cheap or as the last resort)",
       SolveDirect,
       [](std::size_t n, const SolveOptions& o) {
         return n <= o.direct_limit;
       }},
      {SolveMethod::kBiCgStab, "bicgstab",
       "BiCGSTAB with an incomplete LU preconditioner", SolveBiCgStab, Always},
      {SolveMethod::kGmres, "gmres", "GMRES(50) with an ILU(0) preconditioner",
       SolveGmres, Always},
      {SolveMethod::kAggregation, "aggregation",
       "aggregation-disaggregation of nearly decomposable blocks",
       SolveByAggregation, Always},
      {SolveMethod::kGaussSeidel, "gauss-seidel",
       "Gauss-Seidel sweeps, subtraction-free", SolveGaussSeidel, Always},
  };
  return kTable;
}

const MethodRow* FindSolveMethod(SolveMethod method) {
  for (const MethodRow& row : SolveMethodTable()) {
    if (row.id == method) return &row;
  }
  return nullptr;
}

bool ParseSolveMethod(std::string_view name, SolveMethod* method) {
  if (name == "auto") {
    *method = SolveMethod::kAuto;
    return true;
  }
  for (const MethodRow& row : SolveMethodTable()) {
    if (name == row.name) {
      *method = row.id;
      return true;
    }
  }
  return false;
}

std::string SolveMethodNames(const char* separator) {
  std::string names = "auto";
  for (const MethodRow& row : SolveMethodTable()) {
    names += separator;
    names += row.name;
  }
  return names;
}

const char* SolveMethodName(SolveMethod method) {
  const MethodRow* row = FindSolveMethod(method);
  return row == nullptr ? "auto" : row->name;
}
