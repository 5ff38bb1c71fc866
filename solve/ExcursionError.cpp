#include "solve/ExcursionError.h"

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "solve/AvailableMemory.h"
#include "solve/CompensatedSum.h"
#include "solve/DoubleDouble.h"
#include "solve/HugePages.h"
#include "solve/Krylov.h"
#include "solve/ScaledSystem.h"
#include "solve/SweepPace.h"
#include "solve/TwoWayPool.h"

namespace {

using Vector = Eigen::VectorXd;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;

// Refinement steps: each costs one solve with A. The dense factors make
// them cheap and a second or third step still gains on stiff chains; an
// iterative solve costs as much as the solution itself.
constexpr int kDenseSteps = 3;
constexpr int kIterativeSteps = 1;

// Relative residuals to which the iterative solves run. The refinement's
// only shrinks what is left to bound. The remainder's is checked (see
// BoundRemainder): the first solve is loose, and tighter ones continue
// from it while the bound misses its target. Measured, the solve for the
// remainder took 17, 15 and 18 iterations on FMS 8 to 1e-4, 1e-6 and 1e-8,
// and 25, 24 and 27 on Kanban 5: about half of them are BiCGSTAB's
// irregular first phase (on Kanban 5 the residual wanders between 1.2 and
// 2e-2 for 13 iterations, then falls about twofold per iteration), not a
// search for the solution's scale: a start that already has the
// solution's component along y, the direction A nearly annuls, needed as
// many or more (27 and 23 against 24 on Kanban 5, 18 against 15 on FMS
// 8). At 1e-4 the raise (see BoundRemainder) made the bound 40 times
// wider than at 1e-6, for nothing. Nor does another method over the same
// preconditioner cut it: GMRES without restart, the fewest applications
// of the operator any Krylov method can take to a given residual, needs
// 43 against BiCGSTAB's 52 on Kanban 5 and 27 against 30 on FMS 8, and
// its orthogonalisation and basis cost more than that saves; restarted
// at 20 steps it took 116, and IDR(4) 218.
constexpr double kRefinementTolerance = 1e-10;
constexpr double kLooseRemainderTolerance = 1e-6;
constexpr double kRemainderTolerance = 1e-8;

// Restart length of the factored fallback's GMRES, as the table's.
constexpr std::size_t kFactoredRestart = 50;

// The share of rho by which the last fallback of the remainder's solve
// raises every row (see BoundRemainder): the bound is at most that much
// wider than A^-1 rho.
constexpr double kShapedRaise = 1.0 / 16;

double SumOf(const Vector& v) {
  CompensatedSum sum;
  for (Eigen::Index i = 0; i < v.size(); ++i) sum.Add(v[i]);
  return sum.Value();
}

// SumOf(v.cwiseAbs()) without the vector of sizes, which would be one more
// fresh vector of the size of the system each time.
double SumOfSizes(const Vector& v) {
  CompensatedSum sum;
  for (Eigen::Index i = 0; i < v.size(); ++i) sum.Add(std::abs(v[i]));
  return sum.Value();
}

}  // namespace

bool ExcursionError::Prepare(const StateSpace& space,
                             const std::vector<double>& exit,
                             std::uint32_t reference,
                             std::vector<std::uint32_t> others,
                             std::size_t dense_limit,
                             std::size_t max_iterations, TwoWayPool* pool) {
  space_ = &space;
  pool_ = pool;
  exit_ = &exit;
  reference_ = reference;
  states_ = std::move(others);
  max_iterations_ = max_iterations;
  const std::size_t n = states_.size();
  count_ = n;
  dense_ = n != 0 && n <= dense_limit;
  // S = every state but the reference (every irreducible chain) needs no
  // table from global to local numbers on the iterative path (see Local).
  const bool all_but_one = !dense_ && n + 1 == space.num_states;
  std::vector<std::uint32_t>().swap(local_);
  if (!all_but_one) {
    local_.assign(space.num_states, kNotInSystem);
    for (std::size_t i = 0; i < n; ++i) {
      local_[states_[i]] = static_cast<std::uint32_t>(i);
    }
  }
  c_.clear();
  // One transition per target, so c holds the rates exactly.
  for (std::size_t e = space.first[reference]; e < space.first[reference + 1];
       ++e) {
    const std::uint32_t j = Local(space.target[e]);
    if (j != kNotInSystem) c_.emplace_back(j, space.rate[e]);
  }
  if (n == 0) return true;
  if (dense_) {
    ScaledSystem system;
    system.states = states_;
    return BuildSystem(space, exit, local_, &system) &&
           reduction_.Factor(system);
  }
  if (all_but_one) {
    // The states are numbered by rule (see Global): their list would be 4
    // more bytes per unknown through every solve of the bound.
    std::vector<std::uint32_t>().swap(states_);
    op_ = std::make_unique<ChainOperator>(space, exit, reference, pool_);
  } else {
    op_ = std::make_unique<ChainOperator>(space, exit, states_, local_, pool_);
  }
  preconditioner_ = std::make_unique<ChainGaussSeidel>(*op_, pool_);
  return true;
}

std::vector<ExcursionError::ResidualRow> ExcursionError::ResidualRows(
    const Vector& rhs_hi, const Vector& rhs_lo, bool with_c,
    const Vector& x) const {
  const StateSpace& space = *space_;
  const std::size_t n = count_;
  // One row's sum in one place: the products scatter by target, and each
  // lands on a single cache line.
  std::vector<ResidualRow> rows;
  ReserveAdvised(&rows, n);
  rows.resize(n);
  auto add = [&](std::size_t j, auto&& step) {
    ResidualRow& row = rows[j];
    DoubleDoubleSum sum(row.hi, row.lo, row.rounding, row.terms);
    step(&sum);
    std::size_t count = 0;
    sum.Parts(&row.hi, &row.lo, &row.rounding, &count);
    row.terms = static_cast<std::uint32_t>(count);
  };
  // The rows begin..end-1, each taking its terms in the order of the
  // sources. A double-double sum depends on that order in its last bits,
  // so where the rows are cut in two, each half reads every source and
  // keeps only the terms of its own rows: every row gets the same terms
  // in the same order whatever the cut, and the result is the same on one
  // thread, two, or without the pool.
  auto sum_rows = [&](std::size_t begin, std::size_t end) {
    auto own = [&](std::uint32_t j) { return j >= begin && j < end; };
    if (rhs_hi.size() != 0) {
      for (std::size_t j = begin; j < end; ++j) {
        const auto jj = static_cast<Eigen::Index>(j);
        add(j, [&](DoubleDoubleSum* sum) {
          sum->Add(rhs_hi[jj]);
          if (rhs_lo.size() != 0) sum->Add(rhs_lo[jj]);
        });
      }
    }
    if (with_c) {
      // c times the weight, exactly.
      for (const auto& [j, rate] : c_) {
        if (!own(static_cast<std::uint32_t>(j))) continue;
        double product = 0;
        double error = 0;
        TwoProduct(rate, reference_weight_, &product, &error);
        add(static_cast<std::size_t>(j), [&](DoubleDoubleSum* sum) {
          sum->Add(product);
          sum->Add(error);
        });
      }
    }
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t s = Global(i);
      const double xi = x[static_cast<Eigen::Index>(i)];
      const bool own_row = own(static_cast<std::uint32_t>(i));
      // The exit rate of row i in double-double, as the products take it;
      // only the half that owns the row needs it.
      DoubleDoubleSum exit;
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        if (own_row) exit.Add(space.rate[e]);
        const std::uint32_t j = Local(space.target[e]);
        if (j != kNotInSystem && own(j)) {
          add(j, [&](DoubleDoubleSum* sum) {
            sum->AddProduct(xi, space.rate[e]);
          });
        }
      }
      if (!own_row) continue;
      double exit_hi = 0;
      double exit_lo = 0;
      exit.Split(&exit_hi, &exit_lo);
      add(i, [&](DoubleDoubleSum* sum) {
        sum->AddProduct(-xi, exit_hi);
        sum->AddProduct(-xi, exit_lo);
      });
    }
    for (std::size_t j = begin; j < end; ++j) {
      ResidualRow& row = rows[j];
      const DoubleDoubleSum sum(row.hi, row.lo, row.rounding, row.terms);
      sum.Split(&row.hi, &row.lo);
      // The exit rate's own rounding, times |x_j|, bounded from the stored
      // exit rate rather than summed again: its terms are positive, so
      // their sum is below twice the rounded one.
      const std::uint32_t s = Global(j);
      const double degree =
          static_cast<double>(space.first[s + 1] - space.first[s]) + 2;
      const double exit_rounding =
          degree * degree * std::ldexp(2 * (*exit_)[s], -106) +
          degree * std::ldexp(1.0, -1074);
      row.rounding = sum.Rounding() +
                     std::abs(x[static_cast<Eigen::Index>(j)]) * exit_rounding;
    }
  };
  // Cut where the iterations cut their vectors.
  RunInHalves(pool_, n, sum_rows);
  return rows;
}

void ExcursionError::Residual(const Vector& rhs_hi, const Vector& rhs_lo,
                              bool with_c, const Vector& x, Vector* hi,
                              Vector* lo, Vector* rounding) const {
  const std::vector<ResidualRow> rows = ResidualRows(rhs_hi, rhs_lo, with_c, x);
  const auto n = static_cast<Eigen::Index>(rows.size());
  hi->resize(n);
  lo->resize(n);
  rounding->resize(n);
  for (Eigen::Index j = 0; j < n; ++j) {
    const ResidualRow& row = rows[static_cast<std::size_t>(j)];
    (*hi)[j] = row.hi;
    (*lo)[j] = row.lo;
    (*rounding)[j] = row.rounding;
  }
}

bool ExcursionError::Solve(double tolerance, const Vector& rhs,
                           Vector* x) const {
  if (dense_) {
    *x = rhs;
    reduction_.Solve(false, x);
    return x->allFinite();
  }
  if (op_ == nullptr) return false;
  if (lu_ != nullptr) return SolveByLu(rhs, x);
  const KrylovOutcome outcome =
      PreconditionedBiCgStab(*op_, *preconditioner_, false, rhs, tolerance,
                             max_iterations_, x, nullptr, report_, pool_);
  return outcome.converged && x->allFinite();
}

bool ExcursionError::SolveBySweeps(double tolerance, const Vector& rhs,
                                   Vector* x) const {
  if (dense_ || op_ == nullptr) return false;
  // B is an M-matrix and the symmetric Gauss-Seidel splitting is regular,
  // so from 0 every iterate stays below B^-1 rhs (rhs >= 0) and rises
  // towards it, and from above it falls towards it: no step can run away
  // as BiCGSTAB's can.
  if (x->size() != rhs.size()) *x = Vector::Zero(rhs.size());
  const double goal = tolerance * rhs.norm();
  // They give up once, at their pace, the goal is four times past their
  // budget, rather than spending it all on a chain where they crawl.
  std::optional<SweepPace> pace;
  Vector residual;
  for (std::size_t sweep = 1; sweep <= max_iterations_; ++sweep) {
    op_->Apply(false, *x, &residual);
    residual = rhs - residual;
    const double norm = residual.norm();
    if (norm <= goal) return true;
    if (!pace) pace.emplace(norm, goal, 4 * max_iterations_);
    if (!pace->GoOn(sweep, norm)) return false;
    if (report_ && sweep % SweepPace::kStretch == 0) {
      report_(sweep, norm / rhs.norm());
    }
    preconditioner_->Apply(false, &residual);
    *x += residual;
  }
  return false;
}

bool ExcursionError::BuildFactoredSystem() {
  if (factored_system_ != nullptr) return true;
  const StateSpace& space = *space_;
  const std::size_t n = count_;
  auto system = std::make_unique<ScaledSystem>();
  system->states.resize(n);
  std::vector<std::uint32_t> local(space.num_states, kNotInSystem);
  for (std::size_t i = 0; i < n; ++i) {
    system->states[i] = Global(i);
    local[system->states[i]] = static_cast<std::uint32_t>(i);
  }
  if (!BuildSystem(space, *exit_, local, system.get())) return false;
  factored_system_ = std::move(system);
  return true;
}

bool ExcursionError::UseSparseLu() {
  if (dense_ || op_ == nullptr) return false;
  if (lu_ != nullptr) return true;
  if (!BuildFactoredSystem()) return false;
  auto lu = std::make_unique<SparseLu>();
  const SparseLu::MatrixType b = factored_system_->b;
  lu->analyzePattern(b);
  lu->factorize(b);
  if (lu->info() != Eigen::Success) return false;
  lu_ = std::move(lu);
  return true;
}

bool ExcursionError::SolveByLu(const Vector& rhs, Vector* x) const {
  *x = lu_->solve(rhs);
  // One step of refinement, as the table's LU takes: the bound's check
  // needs the residual below the raise in every row.
  const ScaledSystem::Matrix& b = factored_system_->b;
  const Vector refined = *x + lu_->solve(rhs - b * *x);
  if (refined.allFinite() &&
      (rhs - b * refined).lpNorm<1>() < (rhs - b * *x).lpNorm<1>()) {
    *x = refined;
  }
  return x->allFinite();
}

bool ExcursionError::SolveByFactors(double tolerance, const Vector& rhs,
                                    Vector* x) {
  if (dense_ || op_ == nullptr) return false;
  if (!factors_tried_) {
    factors_tried_ = true;
    const StateSpace& space = *space_;
    const std::size_t n = count_;
    std::size_t entries = n;  // the diagonal
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t s = Global(i);
      entries += space.first[s + 1] - space.first[s];
    }
    // B's values and columns, ILU(0)'s values, GMRES's basis and a few
    // vectors, the system's per-state rates and the map to local numbers.
    const std::size_t need =
        entries * (2 * sizeof(double) + sizeof(int)) +
        n * ((kFactoredRestart + 8) * sizeof(double) + 3 * sizeof(int));
    const std::size_t available = AvailableMemory();
    if (available != 0 && need > available / 2) return false;
    if (!BuildFactoredSystem()) return false;
    auto factors = std::make_unique<Ilu0>();
    if (!factors->Compute(factored_system_->b)) return false;
    factors_ = std::move(factors);
  }
  if (factors_ == nullptr) return false;
  const KrylovOutcome outcome = PreconditionedGmres(
      MatrixOperator(factored_system_->b), *factors_, false, rhs, tolerance,
      max_iterations_, kFactoredRestart, x, nullptr, report_);
  return outcome.converged && x->allFinite();
}

void ExcursionError::ResidualOfSolution(Vector* hi, Vector* lo,
                                        Vector* rounding) const {
  Residual(Vector(), Vector(), true, y_, hi, lo, rounding);
}

bool ExcursionError::BoundResidual() {
  const std::vector<ResidualRow> rows =
      ResidualRows(Vector(), Vector(), true, y_);
  rho_.resize(static_cast<Eigen::Index>(rows.size()));
  for (std::size_t j = 0; j < rows.size(); ++j) {
    rho_[static_cast<Eigen::Index>(j)] =
        std::abs(rows[j].hi) + std::abs(rows[j].lo) + rows[j].rounding;
  }
  return rho_.allFinite();
}

bool ExcursionError::Analyse(double reference_weight, Vector y, double target) {
  reference_weight_ = reference_weight;
  y_ = std::move(y);
  eta_known_ = false;
  remainder_.resize(0);
  row_remainder_.resize(0);
  const Eigen::Index n = y_.size();
  total_ = std::abs(reference_weight) + SumOfSizes(y_);
  // The correction is made by the first step: until then it is 0 (an empty
  // vector sums to 0 in NormBound), and it would be one more vector of the
  // system's size during that step's solve.
  Vector().swap(correction_);
  auto zero_correction = [&]() {
    if (correction_.size() != n) correction_ = Vector::Zero(n);
  };
  if (n == 0) {
    rho_ = Vector::Zero(0);
    return true;
  }
  int steps = kDenseSteps;
  if (!dense_) {
    // An iterative refinement step costs as much as the solution itself:
    // the bound without it comes first, holding only rho beside the
    // solution, and the refinement runs only when that bound misses the
    // target.
    if (!BoundResidual()) {
      zero_correction();
      return false;
    }
    BoundRemainder(target);
    if (Meets(target)) {
      zero_correction();
      Vector().swap(rho_);
      return true;
    }
    steps = kIterativeSteps;
  }
  return Refine(steps, target);
}

bool ExcursionError::Sharpen(double target) {
  if (dense_ || y_.size() == 0 || Meets(target)) return true;
  return Refine(kIterativeSteps, target);
}

bool ExcursionError::Refine(int steps, double target) {
  const Eigen::Index n = y_.size();
  eta_known_ = false;
  auto zero_correction = [&]() {
    if (correction_.size() != n) correction_ = Vector::Zero(n);
  };
  // Made again from the refined rho below.
  Vector().swap(remainder_);
  Vector().swap(correction_);
  Vector r_hi;
  Vector r_lo;
  Vector r_rounding;
  ResidualOfSolution(&r_hi, &r_lo, &r_rounding);
  Vector s_hi = r_hi;
  rho_ = r_hi.cwiseAbs() + r_lo.cwiseAbs() + r_rounding;
  if (!rho_.allFinite()) {
    zero_correction();
    return false;
  }
  for (int step = 0; step < steps; ++step) {
    // Before the first step rho_ is made from r alone: it is kept as its
    // sum while the correction is solved, and made again if the step is
    // not taken.
    const double rho_sum = SumOf(rho_);
    if (step == 0) Vector().swap(rho_);
    auto keep_rho = [&]() {
      if (rho_.size() != n) {
        rho_ = r_hi.cwiseAbs() + r_lo.cwiseAbs() + r_rounding;
      }
    };
    // B dz = s in the scaled unknowns, then dy = D^-1 dz. s_hi is written
    // anew below before it is read again.
    Vector delta;
    if (!Solve(kRefinementTolerance, s_hi, &delta)) {
      keep_rho();
      break;
    }
    Vector candidate =
        correction_.size() == n ? correction_ : Vector::Zero(n).eval();
    for (Eigen::Index i = 0; i < n; ++i) {
      candidate[i] += delta[i] / (*exit_)[Global(static_cast<std::size_t>(i))];
    }
    Vector().swap(delta);
    // s = r - A correction, from r in double-double; r's own rounding
    // carries over to s.
    Vector lo;
    Vector rounding;
    Residual(r_hi, r_lo, false, candidate, &s_hi, &lo, &rounding);
    const Vector rho = s_hi.cwiseAbs() + lo.cwiseAbs() + rounding + r_rounding;
    if (!rho.allFinite() || !(SumOf(rho) < rho_sum)) {
      keep_rho();
      break;
    }
    correction_ = std::move(candidate);
    rho_ = rho;
  }
  zero_correction();
  BoundRemainder(target);
  Vector().swap(rho_);
  return true;
}

void ExcursionError::WriteSolution(int exponent,
                                   std::vector<double>* global) const {
  (*global)[reference_] = std::ldexp(reference_weight_, exponent);
  for (std::size_t i = 0; i < count_; ++i) {
    (*global)[Global(i)] =
        std::ldexp(y_[static_cast<Eigen::Index>(i)], exponent);
  }
}

bool ExcursionError::Meets(double target) const {
  return NormBound() <= target * total_;
}

void ExcursionError::BoundRemainder(double target) {
  const Eigen::Index n = rho_.size();
  remainder_ = rho_;
  if (rho_.isZero(0)) return;
  remainder_.resize(0);
  // x = A^-1 rho = D^-1 B^-1 rho, which is >= 0; one solve serves the
  // bounds of every weight vector. The solve need not be accurate: since
  // A^-1 >= 0, any x with A x >= rho row by row is at least A^-1 rho, and
  // so is g x with g the largest rho_j / (A x)_j. A x is computed in
  // double-double with a bound on its rounding, so the check is rigorous.
  //
  // The solve is aimed at rho' = rho + delta, delta = 2 t ||rho||_2 in
  // every row, for a tolerance t. A solve to a relative residual t leaves
  // e = rho' - A x with |e_j| <= ||e||_2 <= t ||rho'||_2
  // <= t ||rho||_2 (1 + 2 t sqrt(n)), so (A x)_j >= rho_j +
  // t ||rho||_2 (1 - 2 t sqrt(n)) > rho_j whenever 2 t sqrt(n) < 1: the
  // check then passes with g = 1 at any such t, and a loose t costs only
  // what delta adds to the bound, about 2 t ||rho||_2 sum A^-1 1. So the
  // first solve is loose, and a tighter one runs (from x) only when the
  // bound misses `target` or the check fails.
  Vector x;
  const double rho_norm = rho_.norm();
  // Through the sparse LU every tolerance costs the same solve, so the
  // raise starts where the old fixed rule had it.
  const double loosest =
      lu_ != nullptr ? kRemainderTolerance
                     : std::min(kLooseRemainderTolerance,
                                0.25 / std::sqrt(static_cast<double>(n)));
  double raised_by = 0;  // delta in rho_ now
  // A bound on rho_j from rho_[j] = fl(rho_j + raised_by), rounded up.
  auto original = [&](Eigen::Index j) {
    if (raised_by == 0) return rho_[j];
    return (rho_[j] - raised_by) + 4 * kUnitRoundoff * rho_[j];
  };
  bool checked = false;
  // One pass over the tolerances, solving one way; it ends early once a
  // check passed and the bound meets `target`, or where nothing more can
  // help.
  enum class Way { kBiCgStab, kSweeps, kFactors };
  auto attempt = [&](Way way) {
    for (const double tolerance : {loosest, kRemainderTolerance, 1e-10}) {
      if (tolerance > loosest) continue;
      // Past a check that passed, only the tolerance of the old fixed rule
      // is tried: tighter than that, delta is no longer what the bound is
      // made of.
      if (checked && tolerance < kRemainderTolerance) break;
      // rho_ holds rho + raised_by, rounded up row by row; its rows are
      // raised again by the difference to this tolerance's delta.
      const double delta = dense_ ? 0.0 : 2 * tolerance * rho_norm;
      if (delta != raised_by) {
        for (Eigen::Index j = 0; j < n; ++j) {
          rho_[j] = std::max(0.0, original(j)) + delta;
        }
        raised_by = delta;
      }
      if (x.size() == n) {
        for (Eigen::Index i = 0; i < n; ++i) {
          x[i] *= (*exit_)[Global(static_cast<std::size_t>(i))];
        }
      }
      const bool solved =
          way == Way::kSweeps    ? SolveBySweeps(tolerance, rho_, &x)
          : way == Way::kFactors ? SolveByFactors(tolerance, rho_, &x)
                                 : Solve(tolerance, rho_, &x);
      if (!solved) return;
      for (Eigen::Index i = 0; i < n; ++i) {
        x[i] /= (*exit_)[Global(static_cast<std::size_t>(i))];
      }
      if (!x.allFinite()) return;
      if (Check(x, original)) {
        checked = true;
        if (dense_ || Meets(target)) return;
      } else if (dense_) {
        return;  // the factors give the same x again
      }
    }
  };
  attempt(Way::kBiCgStab);
  if (remainder_.size() == n) return;  // a solution passed the check
  if (dense_) {
    // The state reduction solves A x = rho (rho >= 0) without a
    // subtraction: each entry of x is within a factor 1 +- 2 (n + 2)^3 u of
    // A^-1 rho (the a priori argument of the reduction), far inside the
    // doubling, even where the check's own rounding fails a row of a stiff
    // chain.
    if (x.size() == n) remainder_ = 2 * x.cwiseAbs();
    return;
  }
  // No BiCGSTAB solution passed the check: its recursive residual can drift
  // far from the true one where the solution spans hundreds of orders of
  // magnitude. The incomplete factors, where they fit, solve what the
  // Gauss-Seidel preconditioner leaves crawling; the sweeps, from 0, cannot
  // run away. Where all fail, remainder_ stays empty and the bound is
  // infinite: an unchecked x would be a guess, not a bound.
  for (const Way way : {Way::kFactors, Way::kSweeps}) {
    x.resize(0);
    attempt(way);
    if (remainder_.size() == n) return;
  }
  // The raise itself can be what no method solves: delta in every row
  // makes x hold delta A^-1 1, the time to reach the reference from every
  // state, which on a queue of two dimensions neither BiCGSTAB nor GMRES
  // resolves (two queues of 301 levels: both stalled at 6.7e-4, the raise's
  // share 2 t sqrt(n) of the norm). A raise shaped like rho itself, rho' =
  // (1 + kShapedRaise) rho, leaves a system like the solution's own, which
  // BiCGSTAB solves in the norm and the sweeps then finish row by row, as
  // they polish the solution: the check needs every row's residual below
  // its own share of the raise.
  //
  // It holds two vectors of the system's size beyond what the ways above
  // held (`need` and the sweeps' residual). Where they would take more than
  // half the memory available the bound stays infinite: the run then ends
  // with its values refused, not killed for want of memory with nothing
  // printed.
  if (!ShapedRaiseFits(2)) return;
  Vector need(n);
  for (Eigen::Index j = 0; j < n; ++j) need[j] = std::max(0.0, original(j));
  x.resize(0);
  ShapedRemainder(need, false);
}

bool ExcursionError::ShapedRaiseFits(std::size_t vectors) const {
  const std::size_t available = AvailableMemory();
  return available == 0 ||
         vectors * static_cast<std::size_t>(y_.size()) * sizeof(double) <=
             available / 2;
}

bool ExcursionError::ShapedRemainder(const Vector& need, bool both_sides) {
  const Eigen::Index n = need.size();
  rho_ = need * (1 + kShapedRaise);
  Vector x;
  if (!Solve(kRemainderTolerance, rho_, &x)) x = Vector::Zero(n);
  if (!PolishRows(need, both_sides, &x)) return false;
  for (Eigen::Index i = 0; i < n; ++i) {
    x[i] /= (*exit_)[Global(static_cast<std::size_t>(i))];
  }
  return x.allFinite() && Check(x, [&](Eigen::Index j) { return need[j]; });
}

bool ExcursionError::SharpenRows() {
  const Eigen::Index n = y_.size();
  // Beyond what the analysis holds: need, rho_, x, the sweeps' residual
  // and the bound kept.
  if (dense_ || n == 0 || !ShapedRaiseFits(5)) return false;
  // The residual of y alone, without the correction: the correction comes
  // from a solve in the norm, and A times its error in the rarest rows
  // would swamp their residual.
  Vector need;
  {
    Vector r_hi;
    Vector r_lo;
    Vector r_rounding;
    ResidualOfSolution(&r_hi, &r_lo, &r_rounding);
    need = r_hi.cwiseAbs() + r_lo.cwiseAbs() + r_rounding;
  }
  if (!need.allFinite()) return false;
  // A row whose residual happens to cancel to far below its terms' rounding
  // asks A x to hit a target no sweep resolves there; any rho >= |r|
  // serves, so each row's is raised to at least the rounding of its terms,
  // about 2 exit_j |y_j| (the outflow and the inflow that balances it).
  for (Eigen::Index j = 0; j < n; ++j) {
    const double row =
        2 * (*exit_)[Global(static_cast<std::size_t>(j))] * std::abs(y_[j]);
    need[j] = std::max(need[j], 4 * kUnitRoundoff * row);
  }
  Vector kept = std::move(remainder_);
  remainder_.resize(0);
  const bool shaped = ShapedRemainder(need, true);
  if (shaped) row_remainder_ = std::move(remainder_);
  remainder_ = std::move(kept);
  Vector().swap(rho_);
  return shaped;
}

template <typename Need>
bool ExcursionError::Check(const Vector& x, const Need& need_of) {
  const Eigen::Index n = x.size();
  const std::vector<ResidualRow> rows = ResidualRows(rho_, Vector(), false, x);
  double factor = 1;
  for (Eigen::Index j = 0; j < n; ++j) {
    // rho'_j - (A x)_j lies within hi + lo +- rounding, so (A x)_j is at
    // least `low`; it must cover rho_j, at most `need`.
    const ResidualRow& row = rows[static_cast<std::size_t>(j)];
    const double excess = row.hi + row.lo + row.rounding;
    const double low =
        (rho_[j] - excess) -
        4 * kUnitRoundoff *
            (rho_[j] + std::abs(row.hi) + std::abs(row.lo) + row.rounding);
    const double need = need_of(j);
    if (need > 0) {
      if (!(low > 0)) return false;
      factor = std::max(factor, need / low);
    } else if (!(low >= 0)) {
      return false;
    }
  }
  if (!std::isfinite(factor)) return false;
  remainder_ = x.cwiseAbs() * (factor * (1 + 4 * kUnitRoundoff));
  return true;
}

bool ExcursionError::PolishRows(const Vector& need, bool both_sides,
                                Vector* x) const {
  // Sweeps z += M^-1 (rho' - B z) until no row's residual is above half
  // its share of the raise (in doubles; the check that follows is the
  // rigorous one), asked every kCheckEvery sweeps; they give up where the
  // worst row's ratio has not halved over kPatience sweeps.
  constexpr std::size_t kCheckEvery = 10;
  constexpr std::size_t kPatience = 200;
  const double allowed = kShapedRaise / 2;
  Vector residual;
  SweepPatience patience(kPatience);
  for (std::size_t sweep = 1; sweep <= max_iterations_; ++sweep) {
    op_->Apply(false, *x, &residual);
    residual = rho_ - residual;
    if (sweep % kCheckEvery == 1) {
      // Only a residual above the row's share matters: below, A x covers
      // rho_j with room to spare.
      double worst = 0;
      for (Eigen::Index j = 0; j < residual.size(); ++j) {
        const double above = both_sides ? std::abs(residual[j]) : residual[j];
        if (!(above <= 0)) {
          const double ratio = above / (allowed * need[j]);
          if (!(ratio <= worst)) worst = ratio;  // NaN keeps going
        }
      }
      if (worst <= 1) return true;
      if (report_) report_(sweep, worst);
      if (!patience.GoOn(sweep, worst)) return false;
    }
    preconditioner_->Apply(false, &residual);
    *x += residual;
  }
  return false;
}

double ExcursionError::Remainder(const Vector& w,
                                 const Vector& remainder) const {
  if (remainder.size() != w.size()) return kInf;
  CompensatedSum sum;
  for (Eigen::Index i = 0; i < w.size(); ++i) {
    sum.Add(std::abs(w[i]) * remainder[i]);
  }
  // Every term is >= 0: the products and the compensated sum are within a
  // few units of the last place.
  return sum.Value() * (1 + 4 * kUnitRoundoff);
}

double ExcursionError::NormBound() const {
  const Eigen::Index n = y_.size();
  if (n == 0) return 0;
  // Remainder(1), read from remainder_ itself: it is called several times
  // per bound, and a vector of ones would be written afresh each time.
  if (remainder_.size() != n) return kInf;
  CompensatedSum sum;
  for (Eigen::Index i = 0; i < n; ++i) sum.Add(remainder_[i]);
  const double remainder = sum.Value() * (1 + 4 * kUnitRoundoff);
  return SumOfSizes(correction_) + remainder;
}

double ExcursionError::Bound(const std::vector<double>& u,
                             const std::vector<double>* d,
                             double* value) const {
  auto d_of = [&](std::uint32_t s) { return d == nullptr ? 1.0 : (*d)[s]; };
  const std::size_t n = count_;
  CompensatedSum num;
  CompensatedSum den;
  num.Add(reference_weight_ * u[reference_]);
  den.Add(reference_weight_ * d_of(reference_));
  double num_scale = std::abs(reference_weight_ * u[reference_]);
  double den_scale = std::abs(reference_weight_ * d_of(reference_));
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t s = Global(i);
    const double yi = y_[static_cast<Eigen::Index>(i)];
    num.Add(yi * u[s]);
    den.Add(yi * d_of(s));
    num_scale += std::abs(yi * u[s]);
    den_scale += std::abs(yi * d_of(s));
  }
  *value = num.Value() / den.Value();
  const double v = *value;
  if (!(den.Value() > 0) || !std::isfinite(v)) return kInf;
  // v* - v = [(u.y - v d.y) + w.(y* - y)] / d.y* with w = u - v d, and
  // y* - y = correction + A^-1 s, or A^-1 r with the rows' own bound.
  Vector w(static_cast<Eigen::Index>(n));
  Vector w_d(static_cast<Eigen::Index>(n));
  CompensatedSum estimate;
  CompensatedSum estimate_d;
  double estimate_rounding = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t s = Global(i);
    const auto ii = static_cast<Eigen::Index>(i);
    w[ii] = u[s] - v * d_of(s);
    w_d[ii] = d_of(s);
    estimate.Add(w[ii] * correction_[ii]);
    estimate_d.Add(w_d[ii] * correction_[ii]);
    estimate_rounding += (std::abs(u[s]) + 3 * std::abs(v * d_of(s))) *
                         std::abs(correction_[ii]);
  }
  estimate_rounding *= 2 * kUnitRoundoff;
  const double ratio_rounding =
      3 * kUnitRoundoff * (num_scale + std::abs(v) * den_scale);
  // The shift of d.y depends on d alone: one adjoint solve per d.
  if (!eta_known_ || d != eta_d_) {
    eta_ = std::abs(estimate_d.Value()) + Remainder(w_d, remainder_) +
           2 * kUnitRoundoff * den_scale;
    eta_d_ = d;
    eta_known_ = true;
  }
  double bound = kInf;
  if (den.Value() - eta_ > den.Value() / 2) {
    bound = (std::abs(estimate.Value()) + Remainder(w, remainder_) +
             estimate_rounding + ratio_rounding) /
            (den.Value() - eta_);
  }
  if (row_remainder_.size() == w.size()) {
    const double eta =
        Remainder(w_d, row_remainder_) + 2 * kUnitRoundoff * den_scale;
    if (den.Value() - eta > den.Value() / 2) {
      bound = std::min(bound, (Remainder(w, row_remainder_) + ratio_rounding) /
                                  (den.Value() - eta));
    }
  }
  return std::isnan(bound) ? kInf : bound;
}
