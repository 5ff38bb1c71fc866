#include "solve/Stationary.h"

#include <Eigen/SparseCore>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <utility>

#include "solve/AvailableMemory.h"
#include "solve/ChainSystem.h"
#include "solve/CompensatedSum.h"
#include "solve/Components.h"
#include "solve/ExcursionError.h"
#include "solve/HugePages.h"
#include "solve/Krylov.h"
#include "solve/ScaledSystem.h"
#include "solve/SolveMethods.h"
#include "solve/SweepPace.h"
#include "solve/TwoWayPool.h"

namespace {

using RowMatrix = ScaledSystem::Matrix;
using Vector = Eigen::VectorXd;

std::vector<double> ExitRates(const StateSpace& space, TwoWayPool* pool) {
  std::vector<double> exit;
  ReserveAdvised(&exit, space.num_states);
  exit.assign(space.num_states, 0.0);
  RunInHalves(pool, space.num_states, [&](std::size_t begin, std::size_t end) {
    for (std::size_t s = begin; s < end; ++s) {
      CompensatedSum sum;
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        sum.Add(space.rate[e]);
      }
      exit[s] = sum.Value();
    }
  });
  return exit;
}

struct LinearOutcome {
  bool ok = false;
  std::string message;
  std::size_t iterations = 0;
  double backward_error = 0;
  // Bound on sum_i |y_i - exact y_i| for y = z D^-1 (infinite when none
  // could be proven).
  double error_l1 = 0;
  // Bound on |y_i - exact y_i| / y_i for every i; infinite when none.
  double componentwise = std::numeric_limits<double>::infinity();
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
  // y = z D^-1 and its clamping at 0 round each entry once more.
  constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
  outcome.componentwise = solved.componentwise + 2 * kUnitRoundoff;
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
    if (options.progress != nullptr) {
      options.progress->Phase("polishing sweeps on " +
                              std::to_string(system.states.size()) +
                              " unknowns");
    }
    outcome.iterations +=
        GaussSeidelSweeps(system, kPolishSweeps, options.tolerance, z,
                          ReportTo(options.progress));
    outcome.componentwise = std::numeric_limits<double>::infinity();
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

// A solution laid out for ExcursionError: scaled by a power of two, which
// is exact, so that its largest entry lies in [1, 2) (the expected times of
// a chain with rates of 1e-300 reach 1e300, and the terms of its residual
// would overflow), and in a closed class seen from its most visited state,
// which keeps every other entry below that state's. Any reference of a
// closed class gives the same distribution up to a factor; an excursion
// from state 1 keeps its start.
class ExcursionLayout {
 public:
  // `y` holds the solution at `others`; the reference's entry is 1.
  ExcursionLayout(std::uint32_t reference,
                  const std::vector<std::uint32_t>& others, const Vector& y,
                  bool closed)
      : reference_(reference), others_(others), count_(others.size()) {
    double largest = 1;
    std::size_t at = others.size();
    for (std::size_t i = 0; i < others.size(); ++i) {
      const double value = y[static_cast<Eigen::Index>(i)];
      if (value > largest) {
        largest = value;
        at = i;
      }
    }
    exponent_ = std::ilogb(largest);
    if (closed && at < others.size()) {
      reference_ = others[at];
      others_.erase(others_.begin() + static_cast<std::ptrdiff_t>(at));
      others_.insert(
          std::lower_bound(others_.begin(), others_.end(), reference),
          reference);
    }
    old_reference_ = reference;
  }
  std::uint32_t reference() const { return reference_; }
  const std::vector<std::uint32_t>& others() const { return others_; }
  // The layout's states of S, given away: Scale needs only their count.
  std::vector<std::uint32_t> TakeOthers() { return std::move(others_); }
  // The power of two the solution is scaled down by.
  int exponent() const { return exponent_; }
  // Sets `weight` and `scaled` from a solution laid out as the one given to
  // the constructor; `sum` gets the sum of the scaled entries.
  void Scale(const std::vector<std::uint32_t>& others, const Vector& y,
             double* weight, Vector* scaled, double* sum) const {
    *scaled = FreshVector(static_cast<Eigen::Index>(count_));
    CompensatedSum total;
    Eigen::Index next = 0;
    auto take = [&](std::uint32_t state, double value) {
      total.Add(value);
      if (state == reference_) {
        *weight = value;
      } else {
        (*scaled)[next++] = value;
      }
    };
    // The states in increasing order: `others` with the old reference
    // merged in at its place.
    const std::size_t at = static_cast<std::size_t>(
        std::lower_bound(others.begin(), others.end(), old_reference_) -
        others.begin());
    for (std::size_t i = 0; i < others.size(); ++i) {
      if (i == at) take(old_reference_, std::ldexp(1.0, -exponent_));
      take(others[i], std::ldexp(y[static_cast<Eigen::Index>(i)], -exponent_));
    }
    if (at == others.size()) {
      take(old_reference_, std::ldexp(1.0, -exponent_));
    }
    *sum = total.Value();
  }

 private:
  std::uint32_t reference_;
  std::uint32_t old_reference_;
  std::vector<std::uint32_t> others_;
  std::size_t count_;
  int exponent_ = 0;
};

// The relative bound sum |y - y*| / sum y of a solution y at `others` (1 at
// `reference`) from `error`, set up on the first call; infinite when it
// cannot be computed. Without `refine` the bound is the unrefined one
// whatever the accuracy.
class RelativeNormBound {
 public:
  RelativeNormBound(const StateSpace& space, const std::vector<double>& exit,
                    std::uint32_t reference,
                    const std::vector<std::uint32_t>& others, bool closed,
                    const SolveOptions& options, bool refine = true)
      : space_(space),
        exit_(exit),
        reference_(reference),
        others_(others),
        closed_(closed),
        options_(options),
        refine_(refine) {}

  // The analysis of the last solution bounded, or null.
  ExcursionError* analysis() { return analysed_ ? &error_ : nullptr; }

  double operator()(const Vector& y) { return BoundOf(y, nullptr); }

  // As the call, for a solution the sparse LU gave: the bound's own solves
  // then factor their system too, where the iterations may take minutes
  // (a tandem queue of 500 x 500 levels: the sweeps of the bound took
  // 107 s after a 7 s LU).
  double OfFactored(const Vector& y) {
    use_lu_ = true;
    return BoundOf(y, nullptr);
  }

  // As the call, but frees *y once it is laid out, where a solve would
  // otherwise hold it beside the layout's copy; WriteSolution then gives
  // it back. *y is left as it is when no analysis could be set up.
  double Consume(Vector* y) { return BoundOf(*y, y); }

  // Writes the solution last laid out into `global` at the reference and
  // the states of S; false when none was.
  bool WriteSolution(std::vector<double>* global) const {
    if (!scaled_) return false;
    error_.WriteSolution(layout_->exponent(), global);
    return true;
  }

 private:
  double BoundOf(const Vector& y, Vector* release) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    if (layout_ == nullptr) {
      layout_ =
          std::make_unique<ExcursionLayout>(reference_, others_, y, closed_);
      ready_ = error_.Prepare(space_, exit_, layout_->reference(),
                              layout_->TakeOthers(), options_.gth_limit,
                              options_.max_iterations, options_.pool);
      error_.Report(ReportTo(options_.progress));
    }
    if (!ready_) return kInf;
    if (use_lu_ && !lu_tried_) {
      lu_tried_ = true;
      error_.UseSparseLu();
    }
    double weight = 1;
    double sum = 0;
    Vector scaled;
    layout_->Scale(others_, y, &weight, &scaled, &sum);
    if (release != nullptr) Vector().swap(*release);
    scaled_ = true;
    analysed_ = error_.Analyse(
        weight, std::move(scaled),
        refine_ ? options_.accuracy : std::numeric_limits<double>::infinity());
    if (!analysed_) return kInf;
    const double bound = error_.NormBound() / sum;
    return std::isnan(bound) ? kInf : bound;
  }

 private:
  const StateSpace& space_;
  const std::vector<double>& exit_;
  std::uint32_t reference_;
  const std::vector<std::uint32_t>& others_;
  bool closed_;
  const SolveOptions& options_;
  bool refine_;
  std::unique_ptr<ExcursionLayout> layout_;
  ExcursionError error_;
  bool ready_ = false;
  bool scaled_ = false;
  bool use_lu_ = false;
  bool lu_tried_ = false;
  bool analysed_ = false;
};

// Most unknowns for which `auto` tries the sparse LU beyond --direct-limit,
// as the last resort where every other method has failed: a queue with a
// two-phase server feeding a second one (512 places each, 523,775 unknowns)
// defeats the iterations, and the LU solves it in 54 s and 2.2 GB. Chains of
// more dimensions fill the factors far faster (Kanban N = 3, 58,399
// unknowns: over 10 minutes), but the iterations solve those.
constexpr std::size_t kLastResortDirectLimit = 1'000'000;
// Up to that many unknowns, `auto` tries the sparse LU beyond --direct-limit
// in its place in the table, before the iterations that follow BiCGSTAB,
// where its factors promise to be small (SolveOptions::cheap_lu_entries and
// this many products; see SparseLuLooksCheap): seconds where the sweeps may
// take minutes. The 500 x 500 tandem queue's factor counts 1.3e7 entries
// and 3.6e9 products, and its LU took 7 s.
constexpr double kCheapLuProducts = 5e10;

// Solves the system and writes y = z D^-1, clamped at 0 (a small negative
// value is rounding in an iterative solution of a non-negative quantity).
// auto tries the rows of the method table that fit the system in order and
// stops at the first whose solution is accepted and, with bounds, whose
// bound is within the accuracy relative to ||y||_1; when none is, it keeps
// the solution with the smallest relative bound. `bound` gives the bound on
// ||y - y*||_1 of a solution z found by a method. `tried` collects the names
// of the methods run.
LinearOutcome SolveSystem(
    const ScaledSystem& system, const SolveOptions& options,
    const std::function<double(const Vector& z, SolveMethod method)>& bound,
    SolveMethod* used, std::vector<double>* y, std::vector<std::string>* tried,
    bool bicgstab_failed = false, bool last_chance = false) {
  const std::size_t n = system.states.size();
  std::vector<const MethodRow*> rows;
  // With `last_chance`, the sparse LU comes last where it was left out for
  // its limit: tried only if no method before it gives a usable solution.
  const MethodRow* last_resort = nullptr;
  if (options.method == SolveMethod::kAuto) {
    for (const MethodRow& row : SolveMethodTable()) {
      if (bicgstab_failed && row.id == SolveMethod::kBiCgStab) continue;
      if (row.fits(n, options)) {
        rows.push_back(&row);
      } else if (row.id == SolveMethod::kDirect &&
                 n <= kLastResortDirectLimit) {
        if (options.cheap_lu_entries > 0 &&
            SparseLuLooksCheap(system.b, options.cheap_lu_entries,
                               kCheapLuProducts)) {
          rows.push_back(&row);
        } else if (last_chance) {
          last_resort = &row;
        }
      }
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
  if (last_resort != nullptr) rows.push_back(last_resort);
  for (const MethodRow* row : rows) {
    if (row == last_resort && best.ok) break;
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
    if (options.bounds && options.progress != nullptr) {
      options.progress->Phase("error bound");
    }
    outcome.error_l1 = options.bounds ? bound(z, row->id)
                                      : std::numeric_limits<double>::infinity();
    if (options.bounds && std::isfinite(outcome.componentwise)) {
      // The a-priori bound of the state reduction, where it is the sharper.
      CompensatedSum total;
      for (std::size_t i = 0; i < n; ++i) {
        total.Add(std::max(0.0, z[static_cast<Eigen::Index>(i)]) /
                  system.exit[i]);
      }
      outcome.error_l1 =
          std::min(outcome.error_l1, outcome.componentwise * total.Value());
    }
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

// The memory that the bounds may take beside the chain, in bytes; 0 when
// that cannot be told.
std::size_t MemoryForBounds(const SolveOptions& options) {
  return options.bound_memory != 0 ? options.bound_memory : AvailableMemory();
}

// What the refinement of a bound over n unknowns holds at once beside the
// chain and the solution, per unknown: the solution's copy, its
// correction, the residual in double-double and its bound, the right-hand
// sides, and BiCGSTAB's vectors for the correction and the adjoint: 148
// bytes measured on Kanban 5, with a margin.
constexpr std::size_t kRefinementBytesPerUnknown = 192;

// Empty when the refinement over n unknowns fits in the memory available
// now (or that cannot be told); otherwise the note that says it was left
// out. Running out of memory would end the process with nothing printed;
// without the refinement the bound from the residual stands.
std::string RefinementTooLarge(std::size_t n, const SolveOptions& options) {
  const std::size_t available = MemoryForBounds(options);
  const std::size_t need = kRefinementBytesPerUnknown * n;
  if (available == 0 || need <= available) return {};
  char text[160];
  std::snprintf(text, sizeof text,
                "the refined error bound was left out: it needs about %.1f "
                "GiB for %zu unknowns and %.1f GiB are available",
                static_cast<double>(need) / (1u << 30), n,
                static_cast<double>(available) / (1u << 30));
  return text;
}

// What the solve and the checked bound over n unknowns take at their peak
// beyond what is held when this is decided, per unknown: the solution's
// scaled copy (the solution itself and c are freed meanwhile), the
// residual's bound rho, the bound's solution, BiCGSTAB's vectors (44
// bytes) and the preconditioner's held crossing terms. Measured (the peak
// less the resident memory here) as 64.7 on Kanban 5 and 60.0 on FMS 8,
// and 71.4 on Kanban 7 with the analysis's list of states (4), since
// dropped; the rest is a margin for chains with more crossing terms. The
// adjoint's bound takes about as much.
constexpr std::size_t kCheckedBytesPerUnknown = 76;

// Whether the checked bound over n unknowns fits in the memory available
// now (or that cannot be told).
bool CheckedBoundFits(std::size_t n, const SolveOptions& options) {
  const std::size_t available = MemoryForBounds(options);
  return available == 0 || kCheckedBytesPerUnknown * n <= available;
}

// The componentwise backward error at which the in-place iteration first
// stops when a checked bound follows: a share of the accuracy asked, since
// the bound's ratio to the backward error is the chain's conditioning as
// the solution sees it (about 100 on Kanban and FMS), and never looser than
// kLoosestStop. With an accuracy at or below 1e4 times the tolerance (or
// 0) it is the tolerance, as without the bound.
constexpr double kFirstStopShare = 1e-4;
constexpr double kLoosestStop = 1e-6;

double FirstStop(const SolveOptions& options) {
  return std::max(options.tolerance,
                  std::min(kLoosestStop, options.accuracy * kFirstStopShare));
}

// The next stop after one at `stop`, where the iteration reached the
// backward error `reached` and the bound was `bound` relative: the bound is
// taken to fall in step with the backward error, with a margin of 10, and
// the stop falls at least a hundredfold, down to the tolerance.
double NextStop(const SolveOptions& options, double stop, double reached,
                double bound) {
  double next = stop / 100;
  if (reached > 0 && bound > 0 && std::isfinite(bound)) {
    next = std::min(next, options.accuracy / (10 * bound / reached));
  }
  return std::max(options.tolerance, next);
}

// Relative residuals to which the adjoint of the residual's bound is
// solved, each from the last, until its solution passes the check.
constexpr double kAdjointTolerances[] = {1e-8, 1e-10, 1e-12};

// The stationary iteration z += M^-1 (c - B z) from z until the backward
// error is at most `stop`, asked every kPolishCheck sweeps; adds its sweeps
// to *sweeps. BiCGSTAB brings the residual's norm down fast, but where the
// solution spans hundreds of orders of magnitude its error in every entry
// is of the order of the rounding of the largest, so the rare states' rows
// keep a backward error of 1e-2 (two independent queues of 101 levels,
// their corners 1e-70 apart) however long it runs. A Gauss-Seidel sweep
// relaxes each row against its neighbours in the breadth-first order of
// the states, and so carries the common states' values out to the rare
// ones: there 210 sweeps met 1e-13, where GMRES took 20,000 steps to no
// avail. The splitting is regular, so no sweep can run away. The sweeps
// give up where the backward error has not halved over kPolishPatience
// sweeps, or after `max_sweeps`.
bool PolishBySweeps(
    const ChainOperator& system, const ChainGaussSeidel& preconditioner,
    const Vector& c, std::size_t max_sweeps, double stop,
    const std::function<double(const Vector&, Vector*, Vector*)>&
        backward_error,
    const IterationReport& report, Vector* z, std::size_t* sweeps) {
  constexpr std::size_t kPolishCheck = 10;
  constexpr std::size_t kPolishPatience = 200;
  const double norm_c = c.norm();
  Vector residual;
  Vector scale;
  SweepPatience patience(kPolishPatience);
  for (std::size_t sweep = 1; sweep <= max_sweeps; ++sweep) {
    system.Apply(false, *z, &residual);
    residual = c - residual;
    if (report) report(sweep, residual.norm() / norm_c);
    preconditioner.Apply(false, &residual);
    *z += residual;
    ++*sweeps;
    if (sweep % kPolishCheck != 0) continue;
    const double error = backward_error(*z, &residual, &scale);
    if (error <= stop) return true;
    if (!std::isfinite(error) || !patience.GoOn(sweep, error)) return false;
  }
  return false;
}

// BiCGSTAB preconditioned by Gauss-Seidel sweeps on the chain's own rows,
// without building B: on chains of millions of states B alone would take as
// much memory as the chain. It starts from *z when that has c's size, else
// from c, and stops at a componentwise backward error of `stop`; the
// iterations add to outcome's. Where BiCGSTAB stops short of `stop` on a
// system beyond the dense limit, PolishBySweeps finishes it. True when the
// result meets `stop`; otherwise the caller builds B, which allows the
// other methods and their polishing sweeps. With `adjoint` the residual's bound
// is formed here by an adjoint solve; c is set aside while it runs and is back
// on return. Where that bound of a stop above the tolerance misses the
// accuracy, the iteration goes on to the tolerance.
bool SolveInPlace(const StateSpace& space, const std::vector<double>& exit,
                  const std::vector<std::uint32_t>& states,
                  const std::vector<std::uint32_t>& local, Vector* c,
                  const SolveOptions& options, double stop, bool adjoint,
                  Vector* z, LinearOutcome* outcome) {
  const ChainOperator system(space, exit, states, local, options.pool);
  const ChainGaussSeidel preconditioner(system, options.pool);
  if (z->size() != c->size()) {
    *z = FreshVector(c->size());
    *z = *c;
  }
  // The iteration stops on the componentwise backward error itself, worked
  // out in two of the iteration's idle vectors.
  double worst = 0;
  auto backward_error = [&](const Vector& candidate, Vector* residual,
                            Vector* scale) {
    worst = std::numeric_limits<double>::infinity();
    if (!candidate.allFinite()) return worst;
    system.Residual(candidate, *c, residual, scale);
    worst = 0;
    for (Eigen::Index j = 0; j < residual->size(); ++j) {
      // NaN, from a residual that overflowed, is kept and refuses.
      const double row = RowBackwardError((*residual)[j], (*scale)[j]);
      if (!(row <= worst)) worst = row;
    }
    return worst;
  };
  auto accept = [&](const Vector& candidate, Vector* residual, Vector* scale) {
    return backward_error(candidate, residual, scale) <= stop;
  };
  const IterationReport report = ReportTo(options.progress);
  if (options.progress != nullptr) {
    options.progress->Phase("bicgstab on " + std::to_string(states.size()) +
                            " unknowns");
  }
  KrylovOutcome krylov = PreconditionedBiCgStab(
      system, preconditioner, false, *c, stop, options.max_iterations, z,
      accept, report, options.pool);
  if (!krylov.converged && stop > options.tolerance) {
    // The iteration gives up on a stop once the residual's norm is far
    // below it and the backward error still above; with a loose stop that
    // comes early (a birth-death chain spanning 1e90, solved from its
    // likeliest end). It goes on to the tolerance, as without the stop.
    outcome->iterations += krylov.iterations;
    if (!z->allFinite()) *z = *c;
    stop = options.tolerance;
    krylov = PreconditionedBiCgStab(system, preconditioner, false, *c, stop,
                                    options.max_iterations, z, accept, report,
                                    options.pool);
  }
  // A system the dense state reduction could take is left to the table's
  // methods, which solve a small stiff chain better than sweeps polish it
  // (the failure model with rates 1e9 apart: BiCGSTAB with ILU(0) in 6
  // iterations to 1e-15, against 177 sweeps to 1e-6); only `--method
  // bicgstab` runs such a system in place.
  if (!krylov.converged && z->allFinite() &&
      states.size() > options.gth_limit) {
    if (options.progress != nullptr) {
      options.progress->Phase("polishing sweeps on " +
                              std::to_string(states.size()) + " unknowns");
    }
    krylov.converged =
        PolishBySweeps(system, preconditioner, *c, options.max_iterations, stop,
                       backward_error, report, z, &krylov.iterations);
  }
  if (!krylov.converged) return false;
  outcome->iterations += krylov.iterations;
  outcome->backward_error = worst;
  if (!options.bounds || !adjoint) {
    outcome->ok = true;
    outcome->error_l1 = std::numeric_limits<double>::infinity();
    return true;
  }
  // The adjoint first, while c is set aside in its few nonzeros: during it
  // the solve holds z and the adjoint's own vectors only.
  std::vector<std::pair<Eigen::Index, double>> nonzeros;
  for (Eigen::Index j = 0; j < c->size(); ++j) {
    if ((*c)[j] != 0) nonzeros.emplace_back(j, (*c)[j]);
  }
  const Eigen::Index n = c->size();
  Vector().swap(*c);
  // h solves B^T h = D^-1 1, that is A^T h = 1 with A = B D. Its factor g
  // (see AdjointFactor) proves g h >= A^-T 1; where the check fails the
  // solve goes on from h to a tighter tolerance, and past the last one the
  // bound is infinite.
  Vector h;
  double factor = std::numeric_limits<double>::infinity();
  {
    Vector weight(n);
    for (std::size_t i = 0; i < states.size(); ++i) {
      weight[static_cast<Eigen::Index>(i)] = 1.0 / exit[states[i]];
    }
    if (options.progress != nullptr) options.progress->Phase("error bound");
    for (const double tolerance : kAdjointTolerances) {
      const KrylovOutcome adjoint = PreconditionedBiCgStab(
          system, preconditioner, true, weight, tolerance,
          options.max_iterations, &h, nullptr, report);
      if (!h.allFinite()) break;
      factor = system.AdjointFactor(h);
      // A solve that ran out of iterations would only do so again.
      if (std::isfinite(factor) || !adjoint.converged) break;
    }
  }
  *c = Vector::Zero(n);
  for (const auto& [j, value] : nonzeros) (*c)[j] = value;
  // The residual of the accepted iterate, now that the iteration's vectors
  // are gone, plus the rounding of each row's residual counted by its
  // number of entries, and then ||y - y*||_1 <= g h.|r|. h and g do not
  // depend on the iterate, so they serve every iterate of this system.
  //
  // The rounding, to first order in u: row j adds k rates times
  // z_i / exit_i (each rounded twice) to c_j - z_j, within (k + 3) u of its
  // sizes; the stored exit rate and y = z / exit, each within u, put z_j
  // up to 2 u |z_j| from the exact row's q_j y_j. (2 k + 5) u covers that
  // with room for the terms of second order.
  auto residual_bound = [&]() {
    if (!std::isfinite(factor)) return std::numeric_limits<double>::infinity();
    Vector residual;
    Vector scale;
    system.Residual(*z, *c, &residual, &scale);
    std::vector<std::uint32_t> entries(states.size(), 2);
    for (std::uint32_t s : states) {
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        const std::uint32_t j = system.local(space.target[e]);
        if (j != kOutsideSystem) ++entries[j];
      }
    }
    constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
    CompensatedSum bound;
    for (Eigen::Index j = 0; j < residual.size(); ++j) {
      bound.Add(std::abs(h[j]) * (residual[j] + (2 * entries[j] + 1) *
                                                    kUnitRoundoff * scale[j]));
    }
    // Every term is >= 0: the products and the compensated sum are within a
    // few units of the last place.
    return factor * bound.Value() * (1 + 8 * kUnitRoundoff);
  };
  outcome->error_l1 = residual_bound();
  if (stop > options.tolerance) {
    // A stop above the tolerance whose bound misses the accuracy (or has
    // none) goes on to the tolerance, as without the early stop; the
    // adjoint's solution is kept for the new iterate's bound, and the
    // continuation holds c where the adjoint held its right-hand side, so
    // the peak stays.
    CompensatedSum total;
    for (std::size_t i = 0; i < states.size(); ++i) {
      total.Add(
          std::max(0.0, (*z)[static_cast<Eigen::Index>(i)] / exit[states[i]]));
    }
    if (!(outcome->error_l1 <= options.accuracy * total.Value())) {
      if (options.progress != nullptr) {
        options.progress->Phase("bicgstab on " + std::to_string(states.size()) +
                                " unknowns");
      }
      stop = options.tolerance;
      krylov =
          PreconditionedBiCgStab(system, preconditioner, false, *c, stop,
                                 options.max_iterations, z, accept, report);
      if (!krylov.converged) return false;
      outcome->iterations += krylov.iterations;
      outcome->backward_error = worst;
      outcome->error_l1 = residual_bound();
    }
  }
  outcome->ok = true;
  return true;
}

// Replaces `out` by `in` in the increasing list `states`, which holds `out`
// and not `in`, and keeps it increasing: a rotation of the entries between
// them, with no copy of the list.
void Exchange(std::vector<std::uint32_t>* states, std::uint32_t out,
              std::uint32_t in) {
  const auto from = std::lower_bound(states->begin(), states->end(), out);
  const auto to = std::lower_bound(states->begin(), states->end(), in);
  if (to <= from) {
    std::rotate(to, from, from + 1);
    *to = in;
  } else {
    std::rotate(from, from + 1, to);
    *(to - 1) = in;
  }
}

// The rates from `from` into the system over `states`, by local number.
Vector RatesOutOf(const StateSpace& space, const std::vector<double>& exit,
                  std::uint32_t from, const std::vector<std::uint32_t>& states,
                  const std::vector<std::uint32_t>& local) {
  const ChainOperator system(space, exit, states, local);
  Vector c = FreshVector(static_cast<Eigen::Index>(states.size()));
  c.setZero();
  for (std::size_t e = space.first[from]; e < space.first[from + 1]; ++e) {
    const std::uint32_t j = system.local(space.target[e]);
    if (j != kOutsideSystem) c[j] += space.rate[e];
  }
  return c;
}

// Sweeps that rank the states of a closed class before its in-place solve:
// on Kanban 4 and 5 one already finds a state within a factor of 4 of the
// likeliest, ten within a factor of 2. They cost about five BiCGSTAB
// iterations' worth of passes over the chain; from there Kanban 5 needs no
// plateau and its bound no refinement.
constexpr int kReferenceSweeps = 10;

// The state to solve the excursion system of a closed class from: the one
// the sweeps rank first, or `reference` when none ranks above it.
std::uint32_t ReferenceFor(const StateSpace& space,
                           const std::vector<double>& exit,
                           std::uint32_t reference,
                           const std::vector<std::uint32_t>& others,
                           const std::vector<std::uint32_t>& local,
                           const Vector& c, const SolveOptions& options) {
  if (options.progress != nullptr) {
    options.progress->Phase("choosing a reference state");
  }
  const ChainOperator system(space, exit, others, local, options.pool);
  const std::uint32_t state =
      WellVisitedState(system, c, kReferenceSweeps, options.pool);
  return state == kOutsideSystem ? reference : state;
}

// Divides the weights of a class solved from `pivot` (its entries at
// `others`, which hold `reference`, and 1 at `pivot`) by `scale`, their
// value at `reference`, so that `reference` gets 1, and the bounds with
// them. The exact solution divided by the same number is an exact solution
// too, so the 1-norm bound divides with the weights, plus each division's
// rounding; entry by entry, the reference's own error enters the ratio.
void ScaleToReference(std::uint32_t reference, std::uint32_t pivot,
                      const std::vector<std::uint32_t>& others, double scale,
                      std::vector<double>* weight, double* error_l1,
                      double* componentwise) {
  constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
  CompensatedSum total;
  auto divide = [&](std::uint32_t s) {
    (*weight)[s] /= scale;
    total.Add((*weight)[s]);
  };
  divide(pivot);
  for (std::uint32_t s : others) divide(s);
  (*weight)[reference] = 1.0;
  *error_l1 = *error_l1 / scale * (1 + 2 * kUnitRoundoff) +
              2 * kUnitRoundoff * total.Value();
  const double e = *componentwise;
  *componentwise = e < 0.5 ? 2 * e / (1 - e) + 2 * kUnitRoundoff
                           : std::numeric_limits<double>::infinity();
}

// The expected time spent in each state of `others` during one excursion
// from `reference` (left at rate 1 per unit of its own time): the solution
// of y (-Q_SS) = q_{reference,S} over S = `others`. Writes y into `weight`
// at the states of S and 1 at `reference`. Within a closed class these are
// the stationary probabilities up to a factor; elsewhere they give the
// chances of where an excursion ends. `analysis`, where given, gets the
// checked bound's analysis of a large system, for the rewards' bounds.
bool SolveExcursion(const StateSpace& space, const std::vector<double>& exit,
                    std::uint32_t reference, std::vector<std::uint32_t>& others,
                    bool closed, const SolveOptions& options,
                    std::vector<double>* weight, double* error_l1,
                    double* componentwise, StationaryResult* result,
                    std::unique_ptr<RelativeNormBound>* analysis = nullptr) {
  *error_l1 = 0;
  *componentwise = 0;
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
  Vector c = FreshVector(static_cast<Eigen::Index>(others.size()));
  c.setZero();
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
  // The state the iteration solves a closed class from (below).
  std::uint32_t pivot = reference;
  // The system from `next`, which takes the place of `current` in it.
  std::uint32_t current = reference;
  auto solve_from = [&](std::uint32_t next) {
    Exchange(&others, next, current);
    current = next;
    if (!local.empty()) fill_local();
    c = RatesOutOf(space, exit, current, others, local);
  };
  if (iterative) {
    // The bound is the checked one (see ExcursionError) where it fits in
    // memory; otherwise the residual's, from an adjoint solve.
    const bool checked =
        options.bounds && CheckedBoundFits(others.size(), options);
    // In a closed class any reference gives the same distribution up to a
    // factor, so the system is solved from a state visited often and the
    // solution scaled back to `reference` afterwards.
    if (closed) {
      pivot = ReferenceFor(space, exit, reference, others, local, c, options);
    }
    if (pivot != reference) solve_from(pivot);
    // With a bound, checked or the adjoint's, the iteration first stops
    // where the bound is likely to meet the accuracy, and goes on only if
    // it does not.
    double stop = options.bounds ? FirstStop(options) : options.tolerance;
    Vector z;
    LinearOutcome outcome;
    bool solved = SolveInPlace(space, exit, others, local, &c, options, stop,
                               !checked, &z, &outcome);
    const double first_stop = stop;
    // Once more from `reference` where the iteration from the pivot cannot
    // go on to the backward error that the bound needs.
    for (;;) {
      // y at `reference`, by which the solution is divided. When the solve
      // from the pivot failed, or that is not a positive number with a finite
      // reciprocal, the system is solved from `reference` itself: the pivot
      // is no better on every chain (a birth-death chain solved from its
      // likeliest end can miss a backward error that its other end meets).
      double scale = 1;
      if (current != reference) {
        if (solved) {
          const auto at = static_cast<Eigen::Index>(
              std::lower_bound(others.begin(), others.end(), reference) -
              others.begin());
          scale = z[at] / exit[reference];
        }
        if (!solved || !(scale > 0) || !std::isfinite(1 / scale)) {
          solve_from(reference);
          z = Vector();
          outcome = LinearOutcome();
          solved = SolveInPlace(space, exit, others, local, &c, options, stop,
                                !checked, &z, &outcome);
        }
      }
      if (solved) {
        // Kept even when its bound misses the accuracy: the other methods of
        // the table would take hours on a system this large, and the report
        // refuses a value whose bound is too wide.
        result->methods_tried.push_back(
            SolveMethodName(SolveMethod::kBiCgStab));
        *componentwise = outcome.componentwise;
        Vector().swap(c);
        // y = z D^-1, clamped at 0, in z; returns sum y.
        auto to_weights = [&]() {
          CompensatedSum total;
          for (std::size_t i = 0; i < others.size(); ++i) {
            const auto ii = static_cast<Eigen::Index>(i);
            z[ii] = std::max(0.0, z[ii] / exit[others[i]]);
            total.Add(z[ii]);
          }
          return total.Value();
        };
        double total = to_weights();
        *error_l1 = outcome.error_l1;
        bool continued = false;
        bool retry = false;
        // The checked bound, refined where it misses the accuracy; after the
        // adjoint only the refinement, where the residual's bound (the
        // conditioning times the rounding) misses it.
        if (options.bounds && !(*error_l1 <= options.accuracy * total)) {
          const std::string too_large =
              RefinementTooLarge(others.size(), options);
          if (checked || too_large.empty()) {
            std::unique_ptr<RelativeNormBound> relative;
            for (;;) {
              if (options.progress != nullptr) {
                options.progress->Phase(checked ? "error bound"
                                                : "refined error bound");
              }
              // Refined only once the iteration has gone as far as it goes.
              relative = std::make_unique<RelativeNormBound>(
                  space, exit, current, others, closed, options,
                  too_large.empty() && std::min(stop, outcome.backward_error) <=
                                           options.tolerance);
              // z is freed while the bound's solve runs: the analysis holds
              // the solution scaled, and gives it back below.
              *error_l1 = std::min(outcome.error_l1,
                                   relative->Consume(&z) * (1 + total));
              if (z.size() == 0) relative->WriteSolution(&sized_weight());
              if (std::min(stop, outcome.backward_error) <= options.tolerance ||
                  z.size() != 0 || *error_l1 <= options.accuracy * total) {
                break;
              }
              // The bound missed: the iteration goes on from where it
              // stopped, to a backward error that the bound's ratio to the
              // last one says should meet the accuracy.
              stop = NextStop(options, stop, outcome.backward_error,
                              *error_l1 / total);
              relative.reset();
              auto from_weights = [&]() {
                z.resize(static_cast<Eigen::Index>(others.size()));
                for (std::size_t i = 0; i < others.size(); ++i) {
                  z[static_cast<Eigen::Index>(i)] =
                      (*weight)[others[i]] * exit[others[i]];
                }
              };
              from_weights();
              c = RatesOutOf(space, exit, current, others, local);
              LinearOutcome more = outcome;
              if (SolveInPlace(space, exit, others, local, &c, options, stop,
                               false, &z, &more)) {
                outcome = more;
              } else if (current != reference) {
                retry = true;
                break;
              } else {
                // The last solution stands; its bound is made the final one.
                from_weights();
                stop = options.tolerance;
              }
              Vector().swap(c);
              continued = true;
              total = to_weights();
            }
            if (analysis != nullptr && !retry) *analysis = std::move(relative);
          }
          if (!retry && !too_large.empty() &&
              !(*error_l1 <= options.accuracy * total)) {
            if (!result->message.empty()) result->message += "; ";
            result->message += too_large;
          }
        }
        if (retry) {
          result->methods_tried.pop_back();
          solve_from(reference);
          z = Vector();
          outcome = LinearOutcome();
          stop = first_stop;
          solved = SolveInPlace(space, exit, others, local, &c, options, stop,
                                !checked, &z, &outcome);
          continue;
        }
        NoteSystem(others.size(), SolveMethod::kBiCgStab, outcome, result);
        if (z.size() != 0) {
          // The weights are sized only after the refinement, which would
          // otherwise hold them beside z.
          std::vector<double>& w = sized_weight();
          for (std::size_t i = 0; i < others.size(); ++i) {
            w[others[i]] = z[static_cast<Eigen::Index>(i)];
          }
        }
        if (current != reference) {
          (*weight)[current] = 1.0;
          // The solution went on from the one the scale was taken from.
          if (continued) scale = (*weight)[reference];
          if (!(scale > 0) || !std::isfinite(1 / scale)) {
            Exchange(&others, reference, current);
            result->message = "the solution from state " +
                              std::to_string(current) + " vanished at state " +
                              std::to_string(reference);
            return false;
          }
          ScaleToReference(reference, current, others, scale, weight, error_l1,
                           componentwise);
          Exchange(&others, reference, current);
        }
        return true;
      }
      break;
    }
  }
  // After the in-place BiCGSTAB failed, auto goes on with the other rows.
  const bool bicgstab_failed =
      iterative && options.method == SolveMethod::kAuto;
  if (bicgstab_failed) {
    result->methods_tried.push_back(SolveMethodName(SolveMethod::kBiCgStab));
    if (!result->message.empty()) result->message += "; ";
    result->message += "bicgstab did not reach the tolerance on " +
                       std::to_string(others.size()) + " unknowns";
  }
  // The table's methods on the system from `current`; the weights are
  // relative to `current` (1 there).
  auto by_table = [&](bool last_chance) {
    fill_local();
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
    // Set up on the first solution that needs a bound, then kept for the
    // solutions of the other methods.
    auto relative = std::make_unique<RelativeNormBound>(
        space, exit, current, others, closed, options);
    // The method whose solution the analysis holds last.
    SolveMethod bounded = SolveMethod::kAuto;
    auto bound = [&](const Vector& z, SolveMethod method) {
      bounded = method;
      Vector solution(z.size());
      CompensatedSum total;
      total.Add(1);
      for (Eigen::Index i = 0; i < z.size(); ++i) {
        solution[i] = std::max(0.0, z[i] / system.exit[i]);
        total.Add(solution[i]);
      }
      return (method == SolveMethod::kDirect ? relative->OfFactored(solution)
                                             : (*relative)(solution)) *
             total.Value();
    };
    const LinearOutcome outcome =
        SolveSystem(system, options, bound, &used, &y, &result->methods_tried,
                    bicgstab_failed, last_chance);
    NoteSystem(system.states.size(), used, outcome, result);
    if (!outcome.ok) return false;
    // The rewards' bounds take the analysis over where it holds the solution
    // kept, as after the in-place iteration: made again, its solves would
    // be iterative whatever method solved the system.
    if (analysis != nullptr && bounded == used) *analysis = std::move(relative);
    *error_l1 = outcome.error_l1;
    *componentwise = outcome.componentwise;
    std::vector<double>& w = sized_weight();
    for (std::size_t i = 0; i < others.size(); ++i) w[others[i]] = y[i];
    w[current] = 1.0;
    return true;
  };
  // A closed class is solved from the pivot first, as the iteration did:
  // from `reference` the solution of a queue filling up, whose empty state
  // is at 1e-500 of its full one, overflows.
  if (pivot != reference) {
    if (current != pivot) solve_from(pivot);
    if (by_table(false)) {
      const double scale = (*weight)[reference];
      if (scale > 0 && std::isfinite(1 / scale)) {
        ScaleToReference(reference, current, others, scale, weight, error_l1,
                         componentwise);
      }
      // Else the value at `reference` is below the double range: the
      // weights stay relative to the pivot, and are normalised by their sum
      // all the same.
      Exchange(&others, reference, current);
      return true;
    }
    solve_from(reference);
  }
  return by_table(true);
}

// Sets up `bounds` for the solution `y` (global) of the excursion from
// `reference` over `others`, laid out by ExcursionLayout; `target` as in
// ExcursionError::Analyse.
bool Prepare(const StateSpace& space, const std::vector<double>& exit,
             std::uint32_t reference, const std::vector<std::uint32_t>& others,
             const std::vector<double>& y, bool closed,
             const SolveOptions& options, double target,
             ExcursionError* bounds) {
  Vector local(static_cast<Eigen::Index>(others.size()));
  for (std::size_t i = 0; i < others.size(); ++i) {
    local[static_cast<Eigen::Index>(i)] = y[others[i]];
  }
  const ExcursionLayout layout(reference, others, local, closed);
  double weight = 1;
  double sum = 0;
  Vector scaled;
  layout.Scale(others, local, &weight, &scaled, &sum);
  return bounds->Prepare(space, exit, layout.reference(), layout.others(),
                         options.gth_limit, options.max_iterations,
                         options.pool) &&
         bounds->Analyse(weight, scaled, target);
}

// Bound on the error of the ratio u.y / d.y (d null: all 1) over
// `reference` and `others`, where every entry of y is within a factor 1 +- e
// of its exact value (y is 1 at `reference` unless the class was solved from
// another state): the sums move by at most e' = e / (1 - e) times the sums
// of their terms' sizes. Infinite when e is. With `ratio`, the ratio the
// bound is about, computed whatever e.
double RatioBoundOf(double e, std::uint32_t reference,
                    const std::vector<std::uint32_t>& others,
                    const std::vector<double>& y, const std::vector<double>& u,
                    const std::vector<double>* d, double* ratio = nullptr) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  if (!(e < 0.5) && ratio == nullptr) return kInf;
  auto d_of = [&](std::uint32_t s) { return d == nullptr ? 1.0 : (*d)[s]; };
  CompensatedSum num;
  CompensatedSum den;
  num.Add(y[reference] * u[reference]);
  den.Add(y[reference] * d_of(reference));
  double num_scale = std::abs(y[reference] * u[reference]);
  double den_scale = std::abs(y[reference] * d_of(reference));
  for (std::uint32_t s : others) {
    num.Add(y[s] * u[s]);
    den.Add(y[s] * d_of(s));
    num_scale += std::abs(y[s] * u[s]);
    den_scale += std::abs(y[s] * d_of(s));
  }
  const double v = num.Value() / den.Value();
  if (ratio != nullptr) *ratio = v;
  if (!(e < 0.5)) return kInf;
  const double shift = e / (1 - e);
  if (!(den.Value() > 0) || !(shift * den_scale < den.Value() / 2)) return kInf;
  constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
  const double bound = (shift + 3 * kUnitRoundoff) *
                       (num_scale + std::abs(v) * den_scale) /
                       (den.Value() - shift * den_scale);
  return std::isnan(bound) ? kInf : bound;
}

// Largest number of closed classes for which the sharp bounds are computed
// (one solve with the factors per class and per reward).
constexpr std::size_t kMaxSharpClasses = 64;

// Fills the sharp bounds of `result` (see ExcursionError) from the class
// solutions in `class_pi` and the excursion times in result->excursion_time.
// `analysis`, where given, is that of the one class's solution, laid out as
// Prepare lays it out: it serves the rewards, refined first where its bound
// misses what they need and the refinement fits in memory.
void SharpenBounds(const StateSpace& space, const std::vector<double>& exit,
                   const std::vector<std::vector<std::uint32_t>>& members,
                   const std::vector<std::size_t>& bottom_ids,
                   const std::vector<std::uint32_t>& transient,
                   const std::vector<double>& class_pi,
                   const std::vector<double>& probability,
                   const std::vector<std::vector<double>>& rewards,
                   const std::vector<double>& class_componentwise,
                   double transient_componentwise, const SolveOptions& options,
                   ExcursionError* analysis, StationaryResult* result) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::size_t classes = bottom_ids.size();
  // Per class: each reward's value and bound.
  std::vector<std::vector<double>> class_value(classes);
  std::vector<std::vector<double>> class_bound(classes);
  for (std::size_t c = 0; c < classes; ++c) {
    const std::vector<std::uint32_t>& m = members[bottom_ids[c]];
    const std::vector<std::uint32_t> others(m.begin() + 1, m.end());
    // On large systems the refinement and each bound cost iterative
    // solves: only where the 1-norm bound misses the accuracy.
    const bool lazy = classes == 1 && others.size() > options.gth_limit;
    std::vector<bool> wanted;
    // The bound on the norm of the error that meets the accuracy for every
    // wanted value: a value v of reward u moves by at most max |u - v|
    // times that norm, over the sum of the solution.
    double target = std::numeric_limits<double>::infinity();
    const std::vector<double>* d = options.reward_weights;
    for (const std::vector<double>& r : rewards) {
      if (d != nullptr) {
        // Weighted, v = u.pi / d.pi moves by at most max |u - v d| times
        // the norm of the error over d.pi.
        const double mean_d = ExpectedReward(result->pi, *d);
        const double value = ExpectedReward(result->pi, r) / mean_d;
        wanted.push_back(true);
        double spread = 0;
        for (std::size_t s = 0; s < r.size(); ++s) {
          spread = std::max(spread, std::abs(r[s] - value * (*d)[s]));
        }
        if (spread > 0 && mean_d > 0) {
          target = std::min(
              target, options.accuracy * std::abs(value) * mean_d / spread);
        }
        continue;
      }
      const double value = ExpectedReward(result->pi, r);
      wanted.push_back(!lazy ||
                       !(ExpectedRewardBound(result->pi_error, value, r) <=
                         options.accuracy * std::abs(value)));
      if (!wanted.back() || r.empty()) continue;
      const auto [low, high] = std::minmax_element(r.begin(), r.end());
      const double spread = std::max(high[0] - value, value - low[0]);
      if (spread > 0) {
        target = std::min(target, options.accuracy * std::abs(value) / spread);
      }
    }
    const bool any =
        std::find(wanted.begin(), wanted.end(), true) != wanted.end();
    ExcursionError fresh;
    ExcursionError* bounds = &fresh;
    bool ready = false;
    if (any && classes == 1 && analysis != nullptr) {
      // Refined first where its bound misses what the values need and the
      // refinement fits; otherwise its unrefined bound stands.
      ready = analysis->Meets(target) ||
              !RefinementTooLarge(others.size(), options).empty() ||
              analysis->Sharpen(target);
      bounds = analysis;
    } else {
      // The layout takes the class's weights as the excursion from its
      // first state gives them, 1 there; a class whose first state lies
      // below the double range keeps them relative to another state
      // (SolveExcursion), and its values keep the bound of the norm.
      ready = any && class_pi[m.front()] == 1.0 &&
              (others.size() <= options.gth_limit ||
               RefinementTooLarge(others.size(), options).empty()) &&
              Prepare(space, exit, m.front(), others, class_pi, true, options,
                      target, &fresh);
    }
    bool rows_sharpened = false;
    for (std::size_t v = 0; v < rewards.size(); ++v) {
      const std::vector<double>& r = rewards[v];
      // Weighted, the value is the class's own ratio; unweighted, the
      // expected reward over the whole chain, as before.
      double value = d == nullptr ? ExpectedReward(result->pi, r) : 0;
      const double by_entries =
          RatioBoundOf(class_componentwise[c], m.front(), others, class_pi, r,
                       d, d != nullptr ? &value : nullptr);
      double refined = ready && wanted[v] ? bounds->Bound(r, d, &value) : kInf;
      // A value far below the others' may need the remainder bounded row
      // by row; once per class, and only where it misses.
      if (ready && wanted[v] && !rows_sharpened && value != 0 &&
          !(refined <= options.accuracy * std::abs(value))) {
        rows_sharpened = true;
        if (bounds->SharpenRows()) refined = bounds->Bound(r, d, &value);
      }
      class_bound[c].push_back(std::min(refined, by_entries));
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
    ExcursionError bounds;
    const bool ready = Prepare(space, exit, 0, others, result->excursion_time,
                               false, options, 0, &bounds);
    double value = 0;
    const std::vector<double>& time = result->excursion_time;
    // Every system here fits the dense factors (see `small` in
    // SolveLongRun), whose bound is sharp entry by entry already.
    auto bound = [&](const std::vector<double>& u) {
      return std::min(
          ready ? bounds.Bound(u, &into_all, &value) : kInf,
          RatioBoundOf(transient_componentwise, 0, others, time, u, &into_all));
    };
    // Both bounds hold for the ratio as they sum it; the printed share is
    // flow_k / F, summed in another order, so their difference is added.
    for (std::size_t c = 0; c < classes; ++c) {
      const double printed = probability[bottom_ids[c]];
      double ratio = 0;
      const double by_ratio = RatioBoundOf(transient_componentwise, 0, others,
                                           time, into[c], &into_all, &ratio);
      probability_bound[c] = by_ratio + std::abs(printed - ratio);
      if (ready) {
        probability_bound[c] = std::min(
            probability_bound[c], bounds.Bound(into[c], &into_all, &value) +
                                      std::abs(printed - value));
      }
    }
    result->absorption_time_error = bound(std::vector<double>(n, 1.0));
    for (const std::vector<double>& r : rewards) {
      result->absorption_reward_error.push_back(bound(r));
    }
  }
  result->class_probability_error = probability_bound;
  // A value sum_k p_k v_k moves by at most sum_k (p_k + dp_k) dv_k + |v_k|
  // dp_k.
  for (std::size_t v = 0; v < rewards.size(); ++v) {
    double bound = 0;
    CompensatedSum value;
    for (std::size_t c = 0; c < classes; ++c) {
      const double p = probability[bottom_ids[c]];
      bound += (p + probability_bound[c]) * class_bound[c][v] +
               std::abs(class_value[c][v]) * probability_bound[c];
      value.Add(p * class_value[c][v]);
    }
    result->reward_error.push_back(std::isnan(bound) ? kInf : bound);
    if (options.reward_weights != nullptr) {
      result->reward_value.push_back(value.Value());
    }
  }
}

// Whether the excursion's analysis over `transient` of the chain's `n`
// states is kept, while the closed classes are solved, for
// BoundThroughFlows, which would otherwise analyse the same solution again
// (half its time on a queue retired into 20,002 classes): where the
// transient states are most of the chain, the classes' solves hold little
// beside it; elsewhere up to a million transient states.
bool HoldTransientAnalysis(std::size_t transient, std::size_t n) {
  return 2 * transient >= n || transient <= 1'000'000;
}

// Most entries the per-class passes of BoundThroughFlows may read in
// all, closed classes times transient states: a queue retired into one
// class per level, 9,999 classes and as many transient states, is solved
// with them in 2.1 s.
constexpr std::size_t kMaxClassPassWork = 100'000'000;

// Bounds of the rewards' values of a chain with transient states where
// SharpenBounds does not run (too many closed classes, or systems too large
// for it). A value is sum_k p_k v_k over the closed classes k, where p_k =
// a_k.y / d.y: y the expected times of an excursion from state 0 over the
// transient states, a_k the rates from each into class k, d those into all
// classes, v_k the value within class k. So sum_k p*_k v_k is the ratio
// u.y* / d.y* with u = sum_k v_k a_k, which one analysis of the excursion
// bounds whatever the number of classes, and sum_k p*_k |v*_k - v_k| is at
// most the ratio w.y* / d.y* with w = sum_k dv_k a_k, dv_k the bound of
// v_k. The norm of the shares' error times the rewards' spread, the other
// bound, is far wider where absorption is rare: a transient state whose
// rate into a class is large lets the flow into the classes move by that
// rate times the error of its time, against a flow per excursion that is
// small. `class_value` and `class_error` hold v_k and dv_k per reward and
// per component of `components`; `bottom_ids` are the classes' components
// in the order of result->bottoms. Bounds each class's probability too,
// where the chain is small enough (see kMaxClassPassWork).
void BoundThroughFlows(const StateSpace& space, const std::vector<double>& exit,
                       const std::vector<std::uint32_t>& transient,
                       const Components& components,
                       const std::vector<std::size_t>& bottom_ids,
                       const std::vector<std::vector<double>>& class_value,
                       const std::vector<std::vector<double>>& class_error,
                       const std::vector<std::vector<double>>& rewards,
                       double transient_componentwise,
                       const SolveOptions& options, ExcursionError* solved,
                       StationaryResult* result) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
  const std::size_t n = space.num_states;
  std::vector<std::uint32_t> others;
  for (std::uint32_t s : transient) {
    if (s != 0) others.push_back(s);
  }
  // The solve's own analysis where it handed one over; otherwise one made
  // here, unrefined first: the refinement costs another solve, and runs
  // only where a value's bound misses the accuracy without it.
  ExcursionError fresh;
  ExcursionError& bounds = solved != nullptr ? *solved : fresh;
  const bool ready = solved != nullptr ||
                     ((others.size() <= options.gth_limit ||
                       RefinementTooLarge(others.size(), options).empty()) &&
                      Prepare(space, exit, 0, others, result->excursion_time,
                              false, options, options.accuracy, &fresh));
  const std::vector<double>& time = result->excursion_time;
  std::vector<double> into_all(n, 0.0);
  std::size_t most_terms = 0;
  for (std::uint32_t s : transient) {
    std::size_t terms = 0;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      if (!components.bottom[components.id[space.target[e]]]) continue;
      into_all[s] += space.rate[e];
      ++terms;
    }
    most_terms = std::max(most_terms, terms);
  }
  // A row's sum of `terms` products is within (terms + 1) u of the exact
  // one, relative to the sum of their sizes.
  const double gamma = static_cast<double>(most_terms + 1) * kUnitRoundoff;
  // The ratio of u over d and its bound, from the analysis where it holds
  // one and from the componentwise bound, whichever is smaller; `slack` is
  // the most by which the rounding of u's entries moves the ratio.
  auto ratio = [&](const std::vector<double>& u, double slack, double* value) {
    double analysed = 0;
    const double by_analysis =
        ready ? bounds.Bound(u, &into_all, &analysed) : kInf;
    double plain = 0;
    const double by_entries = RatioBoundOf(transient_componentwise, 0, others,
                                           time, u, &into_all, &plain);
    // Both bound the exact ratio, each about its own ratio: the analysis's
    // is moved onto the other's.
    *value = plain;
    return std::min(by_analysis + std::abs(analysed - plain), by_entries) +
           slack;
  };
  std::vector<double> u(n, 0.0);
  std::vector<double> w(n, 0.0);
  // Sets every reward's bound; whether all meet the accuracy.
  auto bound_all = [&]() {
    bool all_met = true;
    for (std::size_t v = 0; v < rewards.size(); ++v) {
      double u_slack = 0;
      for (std::uint32_t s : transient) {
        double sum = 0;
        double size = 0;
        double error = 0;
        for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
          const std::uint32_t k = components.id[space.target[e]];
          if (!components.bottom[k]) continue;
          sum += space.rate[e] * class_value[v][k];
          size += std::abs(space.rate[e] * class_value[v][k]);
          error += space.rate[e] * class_error[v][k];
        }
        u[s] = sum;
        // Every term of w is >= 0: rounded up by the factor 1 + 2 gamma.
        w[s] = error * (1 + 2 * gamma);
        if (into_all[s] > 0) {
          u_slack = std::max(u_slack, gamma * size / into_all[s]);
        }
      }
      double value = 0;
      double spread = 0;
      const double shares = ratio(u, u_slack, &value);
      const double within = ratio(w, 0, &spread);
      // The value printed is sum_s pi_s r_s, the same ratio summed
      // otherwise; d is rounded as well, which moves the ratios by at most
      // 2 gamma of themselves.
      const double printed = ExpectedReward(result->pi, rewards[v]);
      double bound = shares + 2 * gamma * std::abs(value) +
                     (spread + within) * (1 + 2 * gamma + 4 * kUnitRoundoff) +
                     std::abs(printed - value) +
                     4 * kUnitRoundoff * (std::abs(printed) + std::abs(value));
      if (std::isnan(bound)) bound = kInf;
      if (result->reward_error.size() <= v) {
        result->reward_error.resize(v + 1, kInf);
      }
      result->reward_error[v] = bound;
      all_met = all_met && bound <= options.accuracy * std::abs(printed);
    }
    return all_met;
  };
  bool all_met = bound_all();
  if (!all_met && ready && bounds.Sharpen(0)) all_met = bound_all();
  // Rows far below the rest: the remainder bounded row by row, once.
  bool rows_sharpened = false;
  if (!all_met && ready) {
    rows_sharpened = true;
    if (bounds.SharpenRows()) bound_all();
  }

  // Each class's probability is the ratio a_k.y / d.y itself; its bound
  // costs a pass over the transient states per class, taken where the
  // passes stay within kMaxClassPassWork entries. Without it a class whose
  // probability is far below the others' gets the bound of the shares'
  // norm, many times its own size.
  const std::size_t classes = bottom_ids.size();
  if (classes * transient.size() > kMaxClassPassWork) return;
  std::vector<std::size_t> class_index(components.count, classes);
  for (std::size_t c = 0; c < classes; ++c) class_index[bottom_ids[c]] = c;
  // The rates into each class: (state, rate) in the transient states'
  // order.
  std::vector<std::vector<std::pair<std::uint32_t, double>>> into(classes);
  for (std::uint32_t s : transient) {
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      const std::size_t c = class_index[components.id[space.target[e]]];
      if (c == classes) continue;
      if (!into[c].empty() && into[c].back().first == s) {
        into[c].back().second += space.rate[e];
      } else {
        into[c].emplace_back(s, space.rate[e]);
      }
    }
  }
  std::fill(u.begin(), u.end(), 0.0);
  result->class_probability_error.assign(classes, kInf);
  for (std::size_t c = 0; c < classes; ++c) {
    for (const auto& [s, rate] : into[c]) u[s] = rate;
    double value = 0;
    // u's entries are sums of positive rates, each within gamma of the
    // exact one, as are d's: the ratio moves by at most 3 gamma of itself.
    const double printed = result->bottoms[c].probability;
    auto class_bound = [&]() {
      return ratio(u, 0, &value) + 3 * gamma * std::abs(value) +
             std::abs(printed - value) +
             4 * kUnitRoundoff * (std::abs(printed) + std::abs(value));
    };
    double bound = class_bound();
    if (ready && !rows_sharpened && printed != 0 &&
        !(bound <= options.accuracy * std::abs(printed))) {
      rows_sharpened = true;
      if (bounds.SharpenRows()) bound = class_bound();
    }
    if (std::isnan(bound)) bound = kInf;
    result->class_probability_error[c] = bound;
    for (const auto& [s, rate] : into[c]) u[s] = 0;
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
  const std::vector<double> exit = ExitRates(space, options.pool);
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

  // Every system small enough for the LU of its transpose, or one closed
  // class reached with nothing transient (solved in place when large): the
  // rewards' bounds of SharpenBounds. Otherwise, with transient states,
  // those of BoundThroughFlows, from each class's value and its bound per
  // reward.
  bool small = bottom_ids.size() <= kMaxSharpClasses &&
               transient.size() <= options.gth_limit + 1;
  for (std::size_t k : bottom_ids) {
    small = small && members[k].size() <= options.gth_limit + 1;
  }
  const bool single = transient.empty() && bottom_ids.size() == 1;
  // BoundThroughFlows holds each class's value and bound per reward and
  // three vectors of the chain's size; where they do not fit in the memory
  // for the bounds, the norm's bound stands.
  const bool by_flows =
      options.bounds && options.rewards != nullptr &&
      options.reward_weights == nullptr && !transient.empty() && !small &&
      (MemoryForBounds(options) == 0 ||
       (2 * options.rewards->size() * components.count + 3 * n) *
               sizeof(double) <=
           MemoryForBounds(options));

  // Probability of ending in each closed class. An excursion from state 0
  // either comes back to it or ends in a class; the chance of ending in
  // class k is the flow into k during one excursion over the flow into all
  // classes. Absorption may take ages, but state 0 is usually revisited
  // often, so this system is far better conditioned than the expected times
  // until absorption, and the ratio needs no 1 - (chance of return).
  std::vector<double> probability(components.count, 0.0);
  // The componentwise bounds of the solutions, where a method gave one: of
  // the excursion times, and of each closed class in bottom_ids' order.
  double transient_componentwise = 0;
  std::vector<double> class_componentwise;
  // The checked bound's analysis of the excursion over the transient states
  // but state 0 (`others`, which it refers to), which BoundThroughFlows
  // uses again.
  std::vector<std::uint32_t> others;
  std::unique_ptr<RelativeNormBound> transient_analysis;
  if (transient.empty()) {
    probability[components.id[0]] = 1.0;
  } else {
    for (std::uint32_t s : transient) {
      if (s != 0) others.push_back(s);
    }
    std::vector<double>& time = result.excursion_time;
    if (!SolveExcursion(space, exit, 0, others, false, options, &time,
                        &result.excursion_error, &transient_componentwise,
                        &result,
                        by_flows && HoldTransientAnalysis(transient.size(), n)
                            ? &transient_analysis
                            : nullptr)) {
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
    // the shares by twice that over the total. Each share is also rounded:
    // a product per term and a compensated sum for each flow, another sum
    // for the total and the division, within 6u of itself; 8u over all the
    // shares. Where state 1 leaves straight into the classes the times are
    // exact (no unknowns), and this is the whole error: rates 1, 1 and 1
    // into three classes gave 1/3 to the nearest double with a bound of 0.
    constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
    result.probability_error = 2 * result.max_absorbing_rate *
                                   result.excursion_error /
                                   result.absorbed_flow +
                               8 * kUnitRoundoff;
  }
  double pi_error = transient.empty() ? 0.0 : result.probability_error;
  // Without transient states nothing below needs the components: they go
  // before the classes are solved.
  if (transient.empty()) std::vector<std::uint32_t>().swap(components.id);

  std::vector<std::vector<double>> class_value;
  std::vector<std::vector<double>> class_value_error;
  if (by_flows) {
    class_value.assign(options.rewards->size(),
                       std::vector<double>(components.count, 0.0));
    class_value_error = class_value;
  }

  // Sized by the first solve, as is result.pi: while the largest system is
  // solved they would be two more vectors of the size of the chain.
  std::vector<double> class_pi;
  // The checked bound's analysis of a single large class, which the rewards'
  // bounds use again.
  std::unique_ptr<RelativeNormBound> analysis;
  for (std::size_t k : bottom_ids) {
    std::vector<std::uint32_t>& class_members = members[k];
    // The class without its first state is the system; it is taken from
    // the list in place and put back, where a copy would be one more array
    // of the size of the class.
    const std::uint32_t reference = class_members.front();
    class_members.erase(class_members.begin());
    double class_error = 0;
    double componentwise = 0;
    const bool solved = SolveExcursion(
        space, exit, reference, class_members, true, options, &class_pi,
        &class_error, &componentwise, &result,
        transient.empty() && bottom_ids.size() == 1 ? &analysis : nullptr);
    class_members.insert(class_members.begin(), reference);
    if (!solved) return result;
    class_componentwise.push_back(componentwise);
    CompensatedSum total;
    for (std::uint32_t s : class_members) total.Add(class_pi[s]);
    // Normalising y / sum(y) at most doubles the relative error in norm;
    // the scaling rounds each entry by a few units more.
    constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
    pi_error +=
        probability[k] * (2 * class_error / total.Value() + 4 * kUnitRoundoff);
    const double scale = probability[k] / total.Value();
    if (result.pi.empty()) {
      ReserveAdvised(&result.pi, n);
      result.pi.assign(n, 0.0);
    }
    for (std::uint32_t s : class_members) result.pi[s] = class_pi[s] * scale;
    for (std::size_t v = 0; v < class_value.size(); ++v) {
      const std::vector<double>& r = (*options.rewards)[v];
      if (r.size() < n) {
        class_value_error[v][k] = std::numeric_limits<double>::infinity();
        continue;
      }
      CompensatedSum sum;
      double low = r[class_members.front()];
      double high = low;
      for (std::uint32_t s : class_members) {
        sum.Add(class_pi[s] * r[s]);
        low = std::min(low, r[s]);
        high = std::max(high, r[s]);
      }
      class_value[v][k] = sum.Value() / total.Value();
      // The class's distribution is within 2 class_error / total + 4u of
      // the exact one in 1-norm (as in pi_error above), and a value moves
      // by that times half the reward's spread over the class.
      class_value_error[v][k] =
          (2 * class_error / total.Value() + 4 * kUnitRoundoff) * (high - low) /
              2 +
          4 * kUnitRoundoff * std::max(std::abs(low), std::abs(high));
    }
    result.bottoms.push_back(
        {class_members.front(), class_members.size(), probability[k]});
  }

  if (result.pi.empty()) result.pi.assign(n, 0.0);
  // ||pi Q||_1 over the whole chain. Each half of the states sums the
  // flows into its own states and reads every state for them, so every
  // flow takes its terms in the order of the states whatever the cut.
  std::vector<CompensatedSum> flow;
  ReserveAdvised(&flow, n);
  flow.resize(n);
  RunInHalves(options.pool, n, [&](std::size_t begin, std::size_t end) {
    for (std::size_t s = 0; s < n; ++s) {
      if (s >= begin && s < end) flow[s].Add(-result.pi[s] * exit[s]);
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        const std::uint32_t t = space.target[e];
        if (t >= begin && t < end) flow[t].Add(result.pi[s] * space.rate[e]);
      }
    }
  });
  const double max_exit = *std::max_element(exit.begin(), exit.end());
  CompensatedSum residual;
  for (const CompensatedSum& f : flow) residual.Add(std::abs(f.Value()));
  result.residual = residual.Value();
  result.relative_residual =
      max_exit > 0 ? result.residual / (2 * max_exit) : 0.0;
  result.pi_error = pi_error;
  // Sharp bounds of the rewards and the absorption measures.
  if (by_flows) {
    BoundThroughFlows(
        space, exit, transient, components, bottom_ids, class_value,
        class_value_error, *options.rewards, transient_componentwise, options,
        transient_analysis != nullptr ? transient_analysis->analysis()
                                      : nullptr,
        &result);
  }
  if (options.bounds && options.rewards != nullptr &&
      (small || (single && options.reward_weights == nullptr)))
    SharpenBounds(
        space, exit, members, bottom_ids, transient, class_pi, probability,
        *options.rewards, class_componentwise, transient_componentwise, options,
        analysis != nullptr ? analysis->analysis() : nullptr, &result);
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
