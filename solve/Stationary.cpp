#include "solve/Stationary.h"

#include <Eigen/SparseCore>
#include <Eigen/SparseLU>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "solve/ChainSystem.h"
#include "solve/CompensatedSum.h"
#include "solve/Components.h"
#include "solve/Krylov.h"
#include "solve/ScaledSystem.h"
#include "solve/SolveMethods.h"

namespace {

using ColMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
using RowMatrix = ScaledSystem::Matrix;
using Vector = Eigen::VectorXd;

std::vector<double> ExitRates(const StateSpace& space) {
  std::vector<double> exit(space.num_states, 0.0);
  for (std::size_t s = 0; s < space.num_states; ++s) {
    CompensatedSum sum;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      sum.Add(space.rate[e]);
    }
    exit[s] = sum.Value();
  }
  return exit;
}

struct LinearOutcome {
  bool ok = false;
  std::string message;
  std::size_t iterations = 0;
  double backward_error = 0;
  // Bound on sum_i |y_i - exact y_i| for y = z D^-1 (infinite when the
  // adjoint system behind it could not be solved).
  double error_l1 = 0;
};

// A solution whose backward error stays above this is refused: its small
// components may be wrong in every digit.
constexpr double kAcceptableBackwardError = 1e-9;

// Sweeps spent at most on polishing the result of the other methods.
constexpr std::size_t kPolishSweeps = 1000;

std::string Sci(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2e", value);
  return buffer;
}

// Solves with `row`, then polishes with Gauss-Seidel while the
// componentwise backward error is above the tolerance: BiCGSTAB and the LU
// control the residual in norm, which leaves the rarest states' equations
// unchecked.
LinearOutcome SolveWith(const ScaledSystem& system, const MethodRow& row,
                        const SolveOptions& options, Vector* z) {
  LinearOutcome outcome;
  const MethodSolve solved = row.solve(system, options, z);
  outcome.iterations = solved.iterations;
  if (!solved.error.empty()) {
    outcome.message = solved.error;
    return outcome;
  }
  if (z->size() != system.c.size() || !z->allFinite()) {
    *z = system.c;
  }
  outcome.backward_error = BackwardError(system.b, *z, system.c);
  if (outcome.backward_error > options.tolerance &&
      row.id != SolveMethod::kGaussSeidel) {
    outcome.iterations +=
        GaussSeidelSweeps(system, kPolishSweeps, options.tolerance, z);
    outcome.backward_error = BackwardError(system.b, *z, system.c);
  }
  if (!(outcome.backward_error <= kAcceptableBackwardError)) {
    outcome.message = std::string(row.name) +
                      " reached only a backward error of " +
                      Sci(outcome.backward_error) + " on " +
                      std::to_string(system.states.size()) + " unknowns";
    return outcome;
  }
  if (outcome.backward_error > options.tolerance) {
    outcome.message = "the backward error " + Sci(outcome.backward_error) +
                      " is above the tolerance " + Sci(options.tolerance);
  }
  outcome.ok = true;
  return outcome;
}

// A bound on ||y - y*||_1 for y = z D^-1 from the residual of z. B is an
// M-matrix, so B^-1 >= 0 and |z - z*| = |B^-1 r| <= B^-1 rho with rho the
// residual plus the rounding of computing it. Then
// ||D^-1 (z - z*)||_1 <= h . rho, where B^T h = D^-1 1: h holds the
// expected times to leave the system from each state. h comes from its own
// solve, so it is itself approximate: the result is doubled to cover that.
// The computed residual |c - B z| plus the rounding of computing it, row by
// row: a componentwise bound on the true residual.
Vector ResidualBound(const ScaledSystem& system, const Vector& z) {
  const RowMatrix& b = system.b;
  const auto n = static_cast<Eigen::Index>(system.states.size());
  constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
  Vector rho(n);
  for (Eigen::Index j = 0; j < n; ++j) {
    double residual = system.c[j];
    double scale = std::abs(system.c[j]);
    double entries = 2;
    for (RowMatrix::InnerIterator it(b, static_cast<int>(j)); it; ++it) {
      const double term = it.value() * z[it.col()];
      residual -= term;
      scale += std::abs(term);
      ++entries;
    }
    rho[j] = std::abs(residual) + 2 * entries * kUnitRoundoff * scale;
  }
  return rho;
}

double ErrorBound(const ScaledSystem& system, const SolveOptions& options,
                  const Vector& z) {
  const RowMatrix& b = system.b;
  const auto n = static_cast<Eigen::Index>(system.states.size());
  const Vector rho = ResidualBound(system, z);
  if (rho.isZero(0)) return 0;
  Vector weight(n);
  for (Eigen::Index i = 0; i < n; ++i) weight[i] = 1.0 / system.exit[i];
  Vector h;
  if (static_cast<std::size_t>(n) <= options.direct_limit) {
    const ColMatrix bt = b.transpose();
    Eigen::SparseLU<ColMatrix, Eigen::COLAMDOrdering<int>> lu;
    lu.analyzePattern(bt);
    lu.factorize(bt);
    if (lu.info() != Eigen::Success) {
      return std::numeric_limits<double>::infinity();
    }
    h = lu.solve(weight);
  } else {
    // The transposed system through the same pattern: no copy of B^T.
    Ilu0 ilu;
    if (!ilu.Compute(b)) return std::numeric_limits<double>::infinity();
    h = weight;
    const KrylovOutcome outcome = PreconditionedBiCgStab(
        MatrixOperator(b), ilu, true, weight, 1e-8, options.max_iterations, &h);
    if (!outcome.converged) return std::numeric_limits<double>::infinity();
  }
  if (!h.allFinite()) return std::numeric_limits<double>::infinity();
  return 2 * h.cwiseAbs().dot(rho);
}

// Solves the system and writes y = z D^-1, clamped at 0 (a small negative
// value is rounding in an iterative solution of a non-negative quantity).
// auto tries the rows of the method table that fit the system in order and
// stops at the first whose solution is accepted and, with bounds, whose
// bound is within the accuracy relative to ||y||_1; when none is, it keeps
// the solution with the smallest relative bound. `tried` collects the names
// of the methods run.
LinearOutcome SolveSystem(const ScaledSystem& system,
                          const SolveOptions& options, SolveMethod* used,
                          std::vector<double>* y,
                          std::vector<std::string>* tried) {
  const std::size_t n = system.states.size();
  std::vector<const MethodRow*> rows;
  if (options.method == SolveMethod::kAuto) {
    for (const MethodRow& row : SolveMethodTable()) {
      if (row.fits(n, options)) rows.push_back(&row);
    }
  } else {
    rows.push_back(FindSolveMethod(options.method));
  }
  auto relative = [&](const LinearOutcome& outcome, const Vector& z) {
    CompensatedSum total;
    for (std::size_t i = 0; i < n; ++i) {
      total.Add(std::max(0.0, z[static_cast<Eigen::Index>(i)]) /
                system.exit[i]);
    }
    return total.Value() > 0 ? outcome.error_l1 / total.Value()
                             : outcome.error_l1;
  };
  LinearOutcome best;
  Vector best_z;
  double best_relative = std::numeric_limits<double>::infinity();
  std::string failures;
  for (const MethodRow* row : rows) {
    if (options.progress != nullptr) {
      options.progress->Phase(std::string(row->name) + " on " +
                              std::to_string(n) + " unknowns");
    }
    Vector z;
    LinearOutcome outcome = SolveWith(system, *row, options, &z);
    if (std::find(tried->begin(), tried->end(), row->name) == tried->end()) {
      tried->push_back(row->name);
    }
    if (!outcome.ok) {
      failures += (failures.empty() ? "" : "; ") + outcome.message;
      continue;
    }
    outcome.error_l1 = options.bounds ? ErrorBound(system, options, z)
                                      : std::numeric_limits<double>::infinity();
    const double error = options.bounds ? relative(outcome, z) : 0.0;
    if (!best.ok || error < best_relative) {
      best = std::move(outcome);
      best_z = std::move(z);
      best_relative = error;
      *used = row->id;
    }
    if (error <= options.accuracy) break;
  }
  if (!best.ok) {
    best.message = failures;
    *used = rows.front()->id;
  } else if (!failures.empty()) {
    best.message = failures + "; solved with " + SolveMethodName(*used) +
                   " instead" + (best.message.empty() ? "" : ": ") +
                   best.message;
  }
  y->assign(n, 0.0);
  if (best.ok) {
    for (std::size_t i = 0; i < n; ++i) {
      (*y)[i] =
          std::max(0.0, best_z[static_cast<Eigen::Index>(i)] / system.exit[i]);
    }
  }
  return best;
}

void NoteSystem(std::size_t size, SolveMethod method,
                const LinearOutcome& outcome, StationaryResult* result) {
  if (size >= result->largest_system) {
    result->largest_system = size;
    result->method = method;
    result->iterations = outcome.iterations;
    result->backward_error = outcome.backward_error;
  }
  if (!outcome.message.empty()) {
    if (!result->message.empty()) result->message += "; ";
    result->message += outcome.message;
  }
}

// BiCGSTAB with ILU(0) on the chain's own rows, without building B: on
// chains of millions of states B alone would take as much memory as the
// chain. True when the result meets the tolerance; otherwise the caller
// builds B, which allows the other methods and the polishing sweeps.
bool SolveInPlace(const StateSpace& space, const std::vector<double>& exit,
                  const std::vector<std::uint32_t>& states,
                  const std::vector<std::uint32_t>& local, const Vector& c,
                  const SolveOptions& options, Vector* z,
                  LinearOutcome* outcome) {
  const ChainOperator system(space, exit, states, local);
  ChainIlu0 ilu;
  if (!ilu.Compute(system)) return false;
  *z = c;
  // The iteration stops on the componentwise backward error itself, worked
  // out in two of the iteration's idle vectors.
  double worst = 0;
  auto accept = [&](const Vector& candidate, Vector* residual, Vector* scale) {
    if (!candidate.allFinite()) return false;
    system.Residual(candidate, c, residual, scale);
    worst = 0;
    for (Eigen::Index j = 0; j < residual->size(); ++j) {
      if ((*scale)[j] > 0) {
        worst = std::max(worst, (*residual)[j] / (*scale)[j]);
      } else if ((*residual)[j] != 0) {
        return false;
      }
    }
    return worst <= options.tolerance;
  };
  IterationReport report;
  if (options.progress != nullptr) {
    options.progress->Phase("bicgstab on " + std::to_string(states.size()) +
                            " unknowns");
    report = [&](std::size_t iteration, double residual) {
      options.progress->Iteration(iteration, residual);
    };
  }
  const KrylovOutcome krylov =
      PreconditionedBiCgStab(system, ilu, false, c, options.tolerance,
                             options.max_iterations, z, accept, report);
  if (!krylov.converged) return false;
  outcome->ok = true;
  outcome->iterations = krylov.iterations;
  outcome->backward_error = worst;
  if (!options.bounds) {
    outcome->error_l1 = std::numeric_limits<double>::infinity();
    return true;
  }
  // The residual of the accepted iterate once more, now that the
  // iteration's vectors are gone, plus the rounding of each row's residual
  // counted by its number of entries: the bound of ErrorBound.
  Vector residual;
  Vector scale;
  system.Residual(*z, c, &residual, &scale);
  std::vector<std::uint32_t> entries(states.size(), 2);
  for (std::uint32_t s : states) {
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      const std::uint32_t j = system.local(space.target[e]);
      if (j != kOutsideSystem) ++entries[j];
    }
  }
  constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
  for (Eigen::Index j = 0; j < residual.size(); ++j) {
    residual[j] += 2 * entries[j] * kUnitRoundoff * scale[j];
  }
  std::vector<std::uint32_t>().swap(entries);
  Vector weight(static_cast<Eigen::Index>(states.size()));
  for (std::size_t i = 0; i < states.size(); ++i) {
    weight[static_cast<Eigen::Index>(i)] = 1.0 / exit[states[i]];
  }
  Vector h = weight;
  if (options.progress != nullptr) options.progress->Phase("error bound");
  const KrylovOutcome adjoint =
      PreconditionedBiCgStab(system, ilu, true, weight, 1e-8,
                             options.max_iterations, &h, nullptr, report);
  outcome->error_l1 = adjoint.converged && h.allFinite()
                          ? 2 * h.cwiseAbs().dot(residual)
                          : std::numeric_limits<double>::infinity();
  return true;
}

// The expected time spent in each state of `others` during one excursion
// from `reference` (left at rate 1 per unit of its own time): the solution
// of y (-Q_SS) = q_{reference,S} over S = `others`. Writes y into `weight`
// at the states of S and 1 at `reference`. Within a closed class these are
// the stationary probabilities up to a factor; elsewhere they give the
// chances of where an excursion ends.
bool SolveExcursion(const StateSpace& space, const std::vector<double>& exit,
                    std::uint32_t reference,
                    const std::vector<std::uint32_t>& others,
                    const SolveOptions& options, std::vector<double>* weight,
                    double* error_l1, StationaryResult* result) {
  *error_l1 = 0;
  // The weights are sized only now that the system is solved: during the
  // solve they would be one more vector of the size of the chain.
  auto sized_weight = [&]() -> std::vector<double>& {
    if (weight->empty()) weight->assign(space.num_states, 0.0);
    (*weight)[reference] = 1.0;
    return *weight;
  };
  if (others.empty()) {
    sized_weight();
    return true;
  }
  // Every state but state 0, as in every irreducible chain: local numbers
  // are global ones minus 1, and the operator needs no table for them.
  const bool all_but_first =
      reference == 0 && others.size() + 1 == space.num_states &&
      others.front() == 1 && others.back() == space.num_states - 1;
  std::vector<std::uint32_t> local;
  auto fill_local = [&]() {
    local.assign(space.num_states, kNotInSystem);
    for (std::size_t i = 0; i < others.size(); ++i) {
      local[others[i]] = static_cast<std::uint32_t>(i);
    }
  };
  auto local_of = [&](std::uint32_t s) {
    return all_but_first ? s - 1 : local[s];
  };
  if (!all_but_first) fill_local();
  Vector c = Vector::Zero(static_cast<Eigen::Index>(others.size()));
  for (std::size_t e = space.first[reference]; e < space.first[reference + 1];
       ++e) {
    const std::uint32_t j = local_of(space.target[e]);
    if (j != kNotInSystem) c[j] += space.rate[e];
  }
  // BiCGSTAB runs first on the chain's own rows when it is the method to
  // use, or auto's first fit; only if it fails is the system built for the
  // table's methods.
  const bool iterative =
      options.method == SolveMethod::kBiCgStab ||
      (options.method == SolveMethod::kAuto &&
       others.size() > std::max(options.direct_limit, options.gth_limit));
  if (iterative) {
    Vector z;
    LinearOutcome outcome;
    if (SolveInPlace(space, exit, others, local, c, options, &z, &outcome)) {
      // Kept even when its bound misses the accuracy: the other methods of
      // the table would take hours on a system this large, and the report
      // refuses a value whose bound is too wide.
      NoteSystem(others.size(), SolveMethod::kBiCgStab, outcome, result);
      result->methods_tried.push_back(SolveMethodName(SolveMethod::kBiCgStab));
      *error_l1 = outcome.error_l1;
      std::vector<double>& w = sized_weight();
      for (std::size_t i = 0; i < others.size(); ++i) {
        w[others[i]] =
            std::max(0.0, z[static_cast<Eigen::Index>(i)] / exit[others[i]]);
      }
      return true;
    }
  }
  if (all_but_first) fill_local();
  ScaledSystem system;
  system.states = others;
  if (!BuildSystem(space, exit, local, &system)) {
    result->message = "the system of " + std::to_string(others.size()) +
                      " unknowns has more entries than 32-bit indices allow";
    return false;
  }
  std::vector<std::uint32_t>().swap(local);
  system.c = std::move(c);
  std::vector<double> y;
  SolveMethod used = SolveMethod::kAuto;
  const LinearOutcome outcome =
      SolveSystem(system, options, &used, &y, &result->methods_tried);
  NoteSystem(system.states.size(), used, outcome, result);
  if (!outcome.ok) return false;
  *error_l1 = outcome.error_l1;
  std::vector<double>& w = sized_weight();
  for (std::size_t i = 0; i < others.size(); ++i) w[others[i]] = y[i];
  return true;
}

// Bounds on ratios v = u.y / d.y of one solved system: y is 1 at the
// reference state and solves y (-Q_SS) = q_{reference,S} on the others.
// Exactly v - v* = (u - v* d).(y - y*) / d.y (the reference's y is exact),
// and |y - y*| <= D^-1 B^-1 rho entry by entry (B^-1 >= 0), so with
// B^T g = D^-1 |u - v d| the error is at most g.rho / d.y plus
// |v - v*| eta, where eta bounds d.|y - y*| / d.y the same way: the
// residual of each equation weighed by how much the ratio depends on it,
// where a 1-norm bound weighs every state alike. g comes from a sparse LU
// of B^T and is doubled to cover its own error.
class RatioBounds {
 public:
  // False when the system cannot be built or factored. Systems of more than
  // `lu_limit` unknowns are used in place through the chain's rows, with
  // g from BiCGSTAB preconditioned by ILU(0).
  bool Prepare(const StateSpace& space, const std::vector<double>& exit,
               std::uint32_t reference,
               const std::vector<std::uint32_t>& others,
               const std::vector<double>& y, std::size_t lu_limit,
               std::size_t max_iterations) {
    reference_ = reference;
    y_ = &y;
    states_ = others;
    max_iterations_ = max_iterations;
    const std::size_t n = others.size();
    local_.assign(space.num_states, kNotInSystem);
    for (std::size_t i = 0; i < n; ++i) {
      local_[others[i]] = static_cast<std::uint32_t>(i);
    }
    Vector c = Vector::Zero(static_cast<Eigen::Index>(n));
    for (std::size_t e = space.first[reference]; e < space.first[reference + 1];
         ++e) {
      const std::uint32_t j = local_[space.target[e]];
      if (j != kNotInSystem) c[j] += space.rate[e];
    }
    exit_.resize(n);
    Vector z(static_cast<Eigen::Index>(n));
    for (std::size_t i = 0; i < n; ++i) {
      exit_[i] = exit[others[i]];
      z[static_cast<Eigen::Index>(i)] = y[others[i]] * exit_[i];
    }
    if (n <= lu_limit) {
      ScaledSystem system;
      system.states = others;
      if (!BuildSystem(space, exit, local_, &system)) return false;
      system.c = std::move(c);
      rho_ = ResidualBound(system, z);
      if (n == 0) return true;  // the reference alone: nothing to solve
      lu_.analyzePattern(ColMatrix(system.b.transpose()));
      lu_.factorize(ColMatrix(system.b.transpose()));
      return lu_.info() == Eigen::Success;
    }
    op_ = std::make_unique<ChainOperator>(space, exit, states_, local_);
    Vector scale;
    op_->Residual(z, c, &rho_, &scale);
    // The rounding of each row's residual, as in ResidualBound.
    std::vector<std::uint32_t> entries(n, 2);
    for (std::uint32_t s : states_) {
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        const std::uint32_t j = local_[space.target[e]];
        if (j != kNotInSystem) ++entries[j];
      }
    }
    constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
    for (std::size_t j = 0; j < n; ++j) {
      rho_[static_cast<Eigen::Index>(j)] +=
          2 * entries[j] * kUnitRoundoff * scale[static_cast<Eigen::Index>(j)];
    }
    return ilu_.Compute(*op_);
  }

  // The ratio of u and d (global per-state vectors; d null: all 1) and a
  // bound on its error; infinite when none could be computed.
  double Bound(const std::vector<double>& u, const std::vector<double>* d,
               double* value) const {
    auto d_of = [&](std::uint32_t s) { return d == nullptr ? 1.0 : (*d)[s]; };
    const std::vector<double>& y = *y_;
    CompensatedSum num;
    CompensatedSum den;
    num.Add(u[reference_]);
    den.Add(d_of(reference_));
    for (std::uint32_t s : states_) {
      num.Add(y[s] * u[s]);
      den.Add(y[s] * d_of(s));
    }
    *value = num.Value() / den.Value();
    const std::size_t n = states_.size();
    Vector weight(static_cast<Eigen::Index>(n));
    Vector weight_d(static_cast<Eigen::Index>(n));
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t s = states_[i];
      weight[static_cast<Eigen::Index>(i)] =
          std::abs(u[s] - *value * d_of(s)) / exit_[i];
      weight_d[static_cast<Eigen::Index>(i)] = d_of(s) / exit_[i];
    }
    constexpr double kInf = std::numeric_limits<double>::infinity();
    if (!(den.Value() > 0)) return kInf;
    const Vector g = Adjoint(weight);
    if (!g.allFinite()) return kInf;
    const double first = 2 * g.cwiseAbs().dot(rho_) / den.Value();
    // eta depends on d alone: one solve per d.
    if (d != eta_d_ || std::isnan(eta_)) {
      const Vector g_d = Adjoint(weight_d);
      eta_ =
          g_d.allFinite() ? 2 * g_d.cwiseAbs().dot(rho_) / den.Value() : kInf;
      eta_d_ = d;
    }
    const double eta = eta_;
    if (!(eta < 0.5)) return kInf;
    constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
    return first / (1 - eta) + 4 * kUnitRoundoff * std::abs(*value);
  }

 private:
  // B^T g = w; not finite when it could not be solved.
  Vector Adjoint(const Vector& w) const {
    if (w.size() == 0) return w;
    if (op_ == nullptr) return lu_.solve(w);
    Vector g = w;
    const KrylovOutcome outcome =
        PreconditionedBiCgStab(*op_, ilu_, true, w, 1e-10, max_iterations_, &g);
    if (!outcome.converged) {
      g.setConstant(std::numeric_limits<double>::infinity());
    }
    return g;
  }

  std::vector<std::uint32_t> states_;
  std::vector<std::uint32_t> local_;
  std::vector<double> exit_;  // local
  Vector rho_;
  Eigen::SparseLU<ColMatrix, Eigen::COLAMDOrdering<int>> lu_;
  std::unique_ptr<ChainOperator> op_;
  ChainIlu0 ilu_;
  std::size_t max_iterations_ = 0;
  mutable const std::vector<double>* eta_d_ = nullptr;
  mutable double eta_ = std::nan("");
  std::uint32_t reference_ = 0;
  const std::vector<double>* y_ = nullptr;
};

// Largest number of closed classes for which the sharp bounds are computed
// (one solve with the factors per class and per reward).
constexpr std::size_t kMaxSharpClasses = 64;

// Fills the sharp bounds of `result` (see RatioBounds) from the class
// solutions in `class_pi` and the excursion times in result->excursion_time.
void SharpenBounds(const StateSpace& space, const std::vector<double>& exit,
                   const std::vector<std::vector<std::uint32_t>>& members,
                   const std::vector<std::size_t>& bottom_ids,
                   const std::vector<std::uint32_t>& transient,
                   const std::vector<double>& class_pi,
                   const std::vector<double>& probability,
                   const std::vector<std::vector<double>>& rewards,
                   const SolveOptions& options, StationaryResult* result) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::size_t classes = bottom_ids.size();
  // Per class: each reward's value and bound.
  std::vector<std::vector<double>> class_value(classes);
  std::vector<std::vector<double>> class_bound(classes);
  for (std::size_t c = 0; c < classes; ++c) {
    const std::vector<std::uint32_t>& m = members[bottom_ids[c]];
    RatioBounds bounds;
    const std::vector<std::uint32_t> others(m.begin() + 1, m.end());
    const bool ready =
        bounds.Prepare(space, exit, m.front(), others, class_pi,
                       options.gth_limit, options.max_iterations);
    // On large systems each bound costs two iterative solves: only where
    // the 1-norm bound misses the accuracy.
    const bool lazy = classes == 1 && others.size() > options.gth_limit;
    for (const std::vector<double>& r : rewards) {
      double value = ExpectedReward(result->pi, r);
      const bool wanted =
          !lazy || !(ExpectedRewardBound(result->pi_error, value, r) <=
                     options.accuracy * std::abs(value));
      class_bound[c].push_back(
          ready && wanted ? bounds.Bound(r, nullptr, &value) : kInf);
      class_value[c].push_back(value);
    }
  }
  std::vector<double> probability_bound(classes, 0.0);
  if (!transient.empty()) {
    // Rates from each transient state into each class, and into all.
    const std::size_t n = space.num_states;
    std::vector<std::vector<double>> into(classes, std::vector<double>(n, 0));
    std::vector<double> into_all(n, 0.0);
    std::vector<std::size_t> class_of(n, classes);
    for (std::size_t c = 0; c < classes; ++c) {
      for (std::uint32_t s : members[bottom_ids[c]]) class_of[s] = c;
    }
    for (std::uint32_t s : transient) {
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        const std::size_t c = class_of[space.target[e]];
        if (c == classes) continue;
        into[c][s] += space.rate[e];
        into_all[s] += space.rate[e];
      }
    }
    std::vector<std::uint32_t> others;
    for (std::uint32_t s : transient) {
      if (s != 0) others.push_back(s);
    }
    RatioBounds bounds;
    const bool ready =
        bounds.Prepare(space, exit, 0, others, result->excursion_time,
                       options.gth_limit, options.max_iterations);
    double value = 0;
    for (std::size_t c = 0; c < classes; ++c) {
      probability_bound[c] =
          ready ? bounds.Bound(into[c], &into_all, &value) : kInf;
    }
    const std::vector<double> ones(n, 1.0);
    result->absorption_time_error =
        ready ? bounds.Bound(ones, &into_all, &value) : kInf;
    for (const std::vector<double>& r : rewards) {
      result->absorption_reward_error.push_back(
          ready ? bounds.Bound(r, &into_all, &value) : kInf);
    }
  }
  result->class_probability_error = probability_bound;
  // A value sum_k p_k v_k moves by at most sum_k (p_k + dp_k) dv_k + |v_k|
  // dp_k.
  for (std::size_t v = 0; v < rewards.size(); ++v) {
    double bound = 0;
    for (std::size_t c = 0; c < classes; ++c) {
      const double p = probability[bottom_ids[c]];
      bound += (p + probability_bound[c]) * class_bound[c][v] +
               std::abs(class_value[c][v]) * probability_bound[c];
    }
    result->reward_error.push_back(std::isnan(bound) ? kInf : bound);
  }
}

}  // namespace

StationaryResult SolveLongRun(const StateSpace& space,
                              const SolveOptions& options) {
  StationaryResult result;
  const std::size_t n = space.num_states;
  if (n == 0) {
    result.message = "the chain has no states";
    return result;
  }
  const std::vector<double> exit = ExitRates(space);
  for (std::size_t s = 0; s < n; ++s) {
    if (!std::isfinite(exit[s])) {
      result.message = "the rates out of state " + std::to_string(s + 1) +
                       " add up to more than the largest double";
      return result;
    }
  }
  Components components = StronglyConnectedComponents(space);
  // One component holds every state, so all are reached.
  const std::vector<bool> reached = components.count == 1
                                        ? std::vector<bool>(n, true)
                                        : ReachableFrom(space, 0);
  result.irreducible = components.count == 1;

  // Members of each closed class reached from state 0, in state order.
  std::vector<std::vector<std::uint32_t>> members(components.count);
  std::vector<std::uint32_t> transient;
  for (std::uint32_t s = 0; s < n; ++s) {
    if (!reached[s]) {
      ++result.num_unreachable;
    } else if (components.bottom[components.id[s]]) {
      members[components.id[s]].push_back(s);
    } else {
      transient.push_back(s);
    }
  }
  result.num_transient = transient.size();

  std::vector<std::size_t> bottom_ids;
  for (std::size_t k = 0; k < components.count; ++k) {
    if (!members[k].empty()) bottom_ids.push_back(k);
  }
  std::sort(bottom_ids.begin(), bottom_ids.end(),
            [&](std::size_t a, std::size_t b) {
              return members[a].front() < members[b].front();
            });

  // Probability of ending in each closed class. An excursion from state 0
  // either comes back to it or ends in a class; the chance of ending in
  // class k is the flow into k during one excursion over the flow into all
  // classes. Absorption may take ages, but state 0 is usually revisited
  // often, so this system is far better conditioned than the expected times
  // until absorption, and the ratio needs no 1 - (chance of return).
  std::vector<double> probability(components.count, 0.0);
  if (transient.empty()) {
    probability[components.id[0]] = 1.0;
  } else {
    std::vector<std::uint32_t> others;
    for (std::uint32_t s : transient) {
      if (s != 0) others.push_back(s);
    }
    std::vector<double>& time = result.excursion_time;
    if (!SolveExcursion(space, exit, 0, others, options, &time,
                        &result.excursion_error, &result)) {
      return result;
    }
    std::vector<CompensatedSum> flow(components.count);
    CompensatedSum back;
    for (std::uint32_t s : transient) {
      CompensatedSum into_classes;
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        const std::uint32_t t = space.target[e];
        const std::uint32_t k = components.id[t];
        if (components.bottom[k]) {
          flow[k].Add(time[s] * space.rate[e]);
          into_classes.Add(space.rate[e]);
        }
        if (t == 0) back.Add(time[s] * space.rate[e]);
      }
      result.max_absorbing_rate =
          std::max(result.max_absorbing_rate, into_classes.Value());
    }
    CompensatedSum absorbed;
    for (std::size_t k : bottom_ids) absorbed.Add(flow[k].Value());
    if (!(absorbed.Value() > 0)) {
      result.message = "no flow from state 1 into a closed class was found";
      return result;
    }
    // What leaves state 0 either comes back or is absorbed.
    result.absorption_defect =
        std::abs((absorbed.Value() + back.Value()) / exit[0] - 1.0);
    for (std::size_t k : bottom_ids) {
      probability[k] = flow[k].Value() / absorbed.Value();
    }
    result.absorbed_flow = absorbed.Value();
    // The flows into the classes together move by at most the largest rate
    // from a transient state into the classes times the error in the times;
    // the shares by twice that over the total.
    result.probability_error = 2 * result.max_absorbing_rate *
                               result.excursion_error / result.absorbed_flow;
  }
  double pi_error = transient.empty() ? 0.0 : result.probability_error;
  // Without transient states nothing below needs the components: they go
  // before the classes are solved.
  if (transient.empty()) std::vector<std::uint32_t>().swap(components.id);

  // Sized by the first solve, as is result.pi: while the largest system is
  // solved they would be two more vectors of the size of the chain.
  std::vector<double> class_pi;
  for (std::size_t k : bottom_ids) {
    std::vector<std::uint32_t>& class_members = members[k];
    // The class without its first state is the system; it is taken from
    // the list in place and put back, where a copy would be one more array
    // of the size of the class.
    const std::uint32_t reference = class_members.front();
    class_members.erase(class_members.begin());
    double class_error = 0;
    const bool solved =
        SolveExcursion(space, exit, reference, class_members, options,
                       &class_pi, &class_error, &result);
    class_members.insert(class_members.begin(), reference);
    if (!solved) return result;
    CompensatedSum total;
    for (std::uint32_t s : class_members) total.Add(class_pi[s]);
    // Normalising y / sum(y) at most doubles the relative error in norm.
    pi_error += probability[k] * 2 * class_error / total.Value();
    const double scale = probability[k] / total.Value();
    if (result.pi.empty()) result.pi.assign(n, 0.0);
    for (std::uint32_t s : class_members) result.pi[s] = class_pi[s] * scale;
    result.bottoms.push_back(
        {class_members.front(), class_members.size(), probability[k]});
  }

  if (result.pi.empty()) result.pi.assign(n, 0.0);
  // ||pi Q||_1 over the whole chain.
  std::vector<CompensatedSum> flow(n);
  double max_exit = 0;
  for (std::size_t s = 0; s < n; ++s) {
    max_exit = std::max(max_exit, exit[s]);
    flow[s].Add(-result.pi[s] * exit[s]);
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      flow[space.target[e]].Add(result.pi[s] * space.rate[e]);
    }
  }
  CompensatedSum residual;
  for (const CompensatedSum& f : flow) residual.Add(std::abs(f.Value()));
  result.residual = residual.Value();
  result.relative_residual =
      max_exit > 0 ? result.residual / (2 * max_exit) : 0.0;
  result.pi_error = pi_error;
  // Sharp bounds of the rewards and the absorption measures, where every
  // system is small enough for the LU of its transpose.
  // Every system small enough for the LU of its transpose, or one closed
  // class reached with nothing transient (solved in place when large).
  bool small = bottom_ids.size() <= kMaxSharpClasses &&
               transient.size() <= options.gth_limit + 1;
  for (std::size_t k : bottom_ids) {
    small = small && members[k].size() <= options.gth_limit + 1;
  }
  const bool single = transient.empty() && bottom_ids.size() == 1;
  if (options.bounds && options.rewards != nullptr && (small || single))
    SharpenBounds(space, exit, members, bottom_ids, transient, class_pi,
                  probability, *options.rewards, options, &result);
  result.ok = true;
  return result;
}

double ExpectedReward(const std::vector<double>& pi,
                      const std::vector<double>& reward) {
  CompensatedSum sum;
  const std::size_t n = std::min(pi.size(), reward.size());
  for (std::size_t s = 0; s < n; ++s) sum.Add(pi[s] * reward[s]);
  return sum.Value();
}

double ExpectedRewardBound(double pi_error, double value,
                           const std::vector<double>& reward) {
  if (reward.empty()) return 0;
  const auto [low, high] = std::minmax_element(reward.begin(), reward.end());
  constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
  return pi_error * (*high - *low) / 2 + 4 * kUnitRoundoff * std::abs(value);
}

std::vector<double> EarningRate(const StateSpace& space,
                                const std::vector<double>& rate_reward,
                                const std::vector<double>& impulse_reward) {
  std::vector<double> earning = rate_reward;
  bool any_impulse = false;
  for (double impulse : impulse_reward) any_impulse |= impulse != 0;
  if (!any_impulse) return earning;
  for (std::size_t s = 0; s < space.num_states; ++s) {
    CompensatedSum sum;
    sum.Add(rate_reward[s]);
    if (s < space.self_rate.size()) {
      sum.Add(space.self_rate[s] * impulse_reward[s]);
    }
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      sum.Add(space.rate[e] * impulse_reward[space.target[e]]);
    }
    earning[s] = sum.Value();
  }
  return earning;
}
