#include "solve/ChainSystem.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "solve/DoubleDouble.h"
#include "solve/HugePages.h"

ChainOperator::ChainOperator(const StateSpace& space,
                             const std::vector<double>& exit,
                             const std::vector<std::uint32_t>& states,
                             const std::vector<std::uint32_t>& local,
                             TwoWayPool* pool)
    : space_(space),
      exit_(exit),
      pool_(pool),
      states_(&states),
      local_(&local),
      size_(states.size()) {
  // n - 1 increasing states out of n are all but one: the first i with
  // states[i] != i, or the last state.
  all_but_one_ = states.size() + 1 == space.num_states;
  if (all_but_one_) {
    std::size_t low = 0;
    std::size_t high = states.size();
    while (low < high) {
      const std::size_t mid = low + (high - low) / 2;
      if (states[mid] == mid) {
        low = mid + 1;
      } else {
        high = mid;
      }
    }
    left_out_ = static_cast<std::uint32_t>(low);
  }
}

ChainOperator::ChainOperator(const StateSpace& space,
                             const std::vector<double>& exit,
                             std::uint32_t left_out, TwoWayPool* pool)
    : space_(space),
      exit_(exit),
      pool_(pool),
      all_but_one_(true),
      left_out_(left_out),
      size_(space.num_states - 1) {}

namespace {

// Calls add(j, rate * x_i / exit_i) for every transition i -> j of the
// system whose row j lies in begin..end-1, in the order of the sources:
// each part of a pass cut by rows reads every source for its own terms.
template <class Rows, class Add>
void ForTermsOfRows(const Rows& rows, std::size_t n, const Eigen::VectorXd& x,
                    std::size_t begin, std::size_t end, Add add) {
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t s = rows.numbering.Global(i);
    const double xi = x[static_cast<Eigen::Index>(i)] / rows.exit[s];
    if (xi == 0) continue;
    const std::size_t last = rows.End(s);
    for (std::size_t e = rows.Begin(s); e < last; ++e) {
      const std::uint32_t j = rows.numbering.Local(rows.target[e]);
      if (j >= begin && j < end) add(j, rows.rate(e) * xi);
    }
  }
}

}  // namespace

void ChainOperator::Apply(bool transposed, const Eigen::VectorXd& x,
                          Eigen::VectorXd* y) const {
  WithRows([&](const auto& rows) { ApplyWith(rows, transposed, x, y); });
}

template <class Rows>
void ChainOperator::ApplyWith(Rows rows, bool transposed,
                              const Eigen::VectorXd& x,
                              Eigen::VectorXd* y) const {
  const std::size_t n = size();
  if (!transposed) {
    // B x: column i of B is state i's jump probabilities, negated. Each
    // part of the rows reads every column for its own terms.
    y->resize(x.size());
    RunInHalves(pool_, n, [&, rows](std::size_t begin, std::size_t end) {
      const auto b = static_cast<Eigen::Index>(begin);
      const auto count = static_cast<Eigen::Index>(end - begin);
      y->segment(b, count) = x.segment(b, count);
      double* out = y->data();
      ForTermsOfRows(rows, n, x, begin, end,
                     [out](std::uint32_t j, double term) { out[j] -= term; });
    });
    return;
  }
  const double* in = x.data();
  double* out = y->data();
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t s = rows.numbering.Global(i);
    const std::size_t last = rows.End(s);
    double sum = 0;
    for (std::size_t e = rows.Begin(s); e < last; ++e) {
      const std::uint32_t j = rows.numbering.Local(rows.target[e]);
      if (j != kOutsideSystem) sum += rows.rate(e) * in[j];
    }
    out[i] = in[i] - sum / rows.exit[s];
  }
}

void ChainOperator::Residual(const Eigen::VectorXd& z, const Eigen::VectorXd& c,
                             Eigen::VectorXd* residual,
                             Eigen::VectorXd* scale) const {
  const std::size_t n = size();
  residual->resize(z.size());
  scale->resize(z.size());
  WithRows([&](const auto& all_rows) {
    RunInHalves(
        pool_, n, [&, rows = all_rows](std::size_t begin, std::size_t end) {
          const auto b = static_cast<Eigen::Index>(begin);
          const auto count = static_cast<Eigen::Index>(end - begin);
          residual->segment(b, count) =
              c.segment(b, count) - z.segment(b, count);
          scale->segment(b, count) =
              c.segment(b, count).cwiseAbs() + z.segment(b, count).cwiseAbs();
          double* r = residual->data();
          double* size = scale->data();
          ForTermsOfRows(rows, n, z, begin, end,
                         [r, size](std::uint32_t j, double term) {
                           r[j] += term;
                           size[j] += std::abs(term);
                         });
          residual->segment(b, count) = residual->segment(b, count).cwiseAbs();
        });
  });
}

double ChainOperator::AdjointFactor(const Eigen::VectorXd& h) const {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
  const std::size_t n = size();
  // The largest 1 / (lower bound of a row) per half; infinite from the first
  // row that proves nothing. Each row reads only its own transitions, so
  // the halves write nothing in common.
  double largest[2] = {0, 0};
  WithRates(space_.rate, [&](auto rate) {
    RunInHalves(pool_, n, [&](std::size_t begin, std::size_t end) {
      double worst = 0;  // written back once: the halves share a line
      for (std::size_t i = begin; i < end && worst < kInf; ++i) {
        const std::uint32_t s = global(i);
        const double hi = h[static_cast<Eigen::Index>(i)];
        // q_i h_i as the sum of its products, not from the stored exit
        // rate, whose own rounding would need a bound of its own.
        DoubleDoubleSum sum;
        for (std::size_t e = space_.first[s]; e < space_.first[s + 1]; ++e) {
          sum.AddProduct(hi, rate(e));
          const std::uint32_t j = local(space_.target[e]);
          if (j != kOutsideSystem) sum.AddProduct(-h[j], rate(e));
        }
        double value = 0;
        double rest = 0;
        sum.Split(&value, &rest);
        const double rounding = sum.Rounding();
        // Below the exact row sum, whatever the three operations round.
        const double low =
            (value - rounding) + rest -
            4 * kUnitRoundoff * (std::abs(value) + std::abs(rest) + rounding);
        worst = low > 0 ? std::max(worst, 1 / low) : kInf;
      }
      largest[begin == 0 ? 0 : 1] = worst;
    });
  });
  const double factor = std::max(largest[0], largest[1]);
  // 1 / low and this product each round by at most half a unit.
  return n == 0 ? 0 : factor * (1 + 4 * kUnitRoundoff);
}

ChainGaussSeidel::ChainGaussSeidel(const ChainOperator& system,
                                   TwoWayPool* pool, std::size_t min_split)
    : system_(system),
      pool_(pool),
      min_split_(min_split),
      middle_(system.size()) {
  const std::size_t n = system.size();
  if (pool == nullptr || n < min_split || n < 2) return;
  const StateSpace& space = system.space();
  // The cut falls at half the transitions, rounded down to whole cache
  // lines of doubles so that the threads never write the same line.
  std::size_t total = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t s = system.global(i);
    total += space.first[s + 1] - space.first[s];
  }
  std::size_t seen = 0;
  std::size_t middle = 0;
  while (middle < n && 2 * seen < total) {
    const std::uint32_t s = system.global(middle);
    seen += space.first[s + 1] - space.first[s];
    ++middle;
  }
  constexpr std::size_t kLine = 8;
  middle = middle / kLine * kLine;
  if (middle == 0 || middle >= n) return;
  middle_ = middle;
  std::size_t count[2] = {0, 0};
  pool->Run([&](int block) {
    const auto lo = static_cast<std::size_t>(Begin(block));
    const auto hi = static_cast<std::size_t>(End(block));
    for (std::size_t i = lo; i < hi; ++i) {
      const std::uint32_t s = system.global(i);
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        const std::uint32_t c = system.local(space.target[e]);
        if (c != kOutsideSystem && (c < lo || c >= hi)) ++count[block];
      }
    }
  });
  // Dropping the coupling costs iterations in step with its share: Kanban
  // 5, 5.8 % of the transitions across the cut, 37 iterations against 35
  // undivided; FMS 8, 14 %, 35 against 23, more than two threads save.
  // Past kMaxCrossingShare the preconditioner stays whole.
  if (static_cast<double>(count[0] + count[1]) >
      kMaxCrossingShare * static_cast<double>(total)) {
    middle_ = n;
    return;
  }
  held_[0].resize(count[0]);
  held_[1].resize(count[1]);
}

void ChainGaussSeidel::Apply(bool transposed, Eigen::VectorXd* x) const {
  system_.WithRows([&](const auto& rows) {
    if (middle_ == system_.size()) {
      ApplyWith(rows, transposed, 0, static_cast<std::int64_t>(middle_), x);
      return;
    }
    // Each block reads and writes its own unknowns only.
    pool_->Run([&](int block) {
      ApplyWith(rows, transposed, Begin(block), End(block), x);
    });
  });
}

// Row i of L + U is state i's outgoing rates over its exit rate, negated.
// Targets increase within a row, and local numbers with them, so L's
// entries come first: the sweeps over L stop at the diagonal and those
// over U run from the row's end back to it. Entries outside lo..hi-1 are
// another block's and left out; a state outside the system has the local
// number kOutsideSystem, above every hi.
template <class Rows>
void ChainGaussSeidel::ApplyWith(Rows rows, bool transposed, std::int64_t lo,
                                 std::int64_t hi, Eigen::VectorXd* x) const {
  double* v = x->data();
  if (!transposed) {
    // (I + U)^T y = x going down, then (I + L)^T z = y going up.
    for (std::int64_t i = lo; i < hi; ++i) {
      if (v[i] == 0) continue;
      const std::uint32_t s =
          rows.numbering.Global(static_cast<std::size_t>(i));
      const double yi = v[i] / rows.exit[s];
      const std::size_t begin = rows.Begin(s);
      for (std::size_t e = rows.End(s); e > begin; --e) {
        const std::int64_t c = rows.numbering.Local(rows.target[e - 1]);
        if (c >= hi) continue;
        if (c < i) break;
        v[c] += rows.rate(e - 1) * yi;
      }
    }
    for (std::int64_t i = hi - 1; i >= lo; --i) {
      if (v[i] == 0) continue;
      const std::uint32_t s =
          rows.numbering.Global(static_cast<std::size_t>(i));
      const double zi = v[i] / rows.exit[s];
      const std::size_t end = rows.End(s);
      for (std::size_t e = rows.Begin(s); e < end; ++e) {
        const std::int64_t c = rows.numbering.Local(rows.target[e]);
        if (c == kOutsideSystem || c < lo) continue;
        if (c >= i) break;
        v[c] += rows.rate(e) * zi;
      }
    }
    return;
  }
  // (I + L) y = x going down, then (I + U) z = y going up.
  for (std::int64_t i = lo; i < hi; ++i) {
    const std::uint32_t s = rows.numbering.Global(static_cast<std::size_t>(i));
    const std::size_t end = rows.End(s);
    double sum = 0;
    for (std::size_t e = rows.Begin(s); e < end; ++e) {
      const std::int64_t c = rows.numbering.Local(rows.target[e]);
      if (c == kOutsideSystem || c < lo) continue;
      if (c >= i) break;
      sum += rows.rate(e) * v[c];
    }
    v[i] += sum / rows.exit[s];
  }
  for (std::int64_t i = hi - 1; i >= lo; --i) {
    const std::uint32_t s = rows.numbering.Global(static_cast<std::size_t>(i));
    const std::size_t begin = rows.Begin(s);
    double sum = 0;
    for (std::size_t e = rows.End(s); e > begin; --e) {
      const std::int64_t c = rows.numbering.Local(rows.target[e - 1]);
      if (c >= hi) continue;
      if (c < i) break;
      sum += rows.rate(e - 1) * v[c];
    }
    v[i] += sum / rows.exit[s];
  }
}

// The sweep pair's forward sweep over lo..hi-1, (I + U)^T y = x going down,
// clearing out's entries as it goes.
template <class Rows>
void ForwardSweep(const Rows& rows, std::int64_t lo, std::int64_t hi, double* x,
                  double* out) {
  for (std::int64_t i = lo; i < hi; ++i) {
    out[i] = 0;
    const double ui = x[i];
    if (ui == 0) continue;
    const std::uint32_t s = rows.numbering.Global(static_cast<std::size_t>(i));
    const double scaled = ui / rows.exit[s];
    const std::size_t begin = rows.Begin(s);
    for (std::size_t e = rows.End(s); e > begin; --e) {
      const std::int64_t c = rows.numbering.Local(rows.target[e - 1]);
      if (c >= hi) continue;
      if (c < i) break;
      x[c] += rows.rate(e - 1) * scaled;
    }
  }
}

void ChainGaussSeidel::ApplyThenMultiply(const LinearOperator& a,
                                         bool transposed, Eigen::VectorXd* y,
                                         Eigen::VectorXd* v) const {
  if (&a != &system_ || transposed) {
    Preconditioner::ApplyThenMultiply(a, transposed, y, v);
    return;
  }
  system_.WithRows([&](const auto& rows) {
    if (middle_ == system_.size()) {
      const auto n = static_cast<std::int64_t>(middle_);
      if (pool_ == nullptr || middle_ < min_split_) {
        ApplyThenMultiplyWith(rows, 0, n, y, v, nullptr, nullptr);
        return;
      }
      // Undivided on the pool: the second half adds the terms above the
      // diagonal into B y behind the backward sweep (see UpperTermsBehind).
      SweepProgress progress(n);
      pool_->Run([&](int half) {
        if (half == 0) {
          SweepsAndLowerTerms(rows, n, y, v, &progress);
        } else {
          UpperTermsBehind(rows, n, *y, v, &progress);
        }
      });
      return;
    }
    pool_->Run([&](int block) {
      ApplyThenMultiplyWith(rows, Begin(block), End(block), y, v,
                            held_[block].data(), &held_count_[block]);
    });
    // Once both blocks are done, each takes the other's held terms in the
    // order they were found.
    Eigen::VectorXd& out = *v;
    pool_->Run([&](int block) {
      const std::vector<Held>& held = held_[1 - block];
      const std::size_t count = held_count_[1 - block];
      for (std::size_t k = 0; k < count; ++k) out[held[k].row] -= held[k].term;
    });
  });
}

template <class Rows>
void ChainGaussSeidel::ApplyThenMultiplyWith(Rows rows, std::int64_t lo,
                                             std::int64_t hi,
                                             Eigen::VectorXd* y,
                                             Eigen::VectorXd* v, Held* held,
                                             std::size_t* held_count) const {
  double* x = y->data();
  double* out = v->data();
  std::size_t count = 0;
  // Going down, the forward sweep; out is cleared as it goes.
  ForwardSweep(rows, lo, hi, x, out);
  // Going up, x_i is final (y_i) once its row is reached: the whole row
  // goes into B y as the product would add it, and the entries before the
  // diagonal finish the sweep as well. B y is summed term by term rather
  // than as u + Lb y, which would cancel where y spans many orders of
  // magnitude.
  for (std::int64_t i = hi - 1; i >= lo; --i) {
    const double yi = x[i];
    out[i] += yi;
    if (yi == 0) continue;
    const std::uint32_t s = rows.numbering.Global(static_cast<std::size_t>(i));
    const double scaled = yi / rows.exit[s];
    const std::size_t end = rows.End(s);
    std::size_t e = rows.Begin(s);
    for (; e < end; ++e) {
      const std::int64_t c = rows.numbering.Local(rows.target[e]);
      if (c == kOutsideSystem) continue;
      if (c > i) break;
      const double term = rows.rate(e) * scaled;
      if (c < lo) {
        held[count++] = {static_cast<std::uint32_t>(c), term};
        continue;
      }
      x[c] += term;
      out[c] -= term;
    }
    for (; e < end; ++e) {
      const std::int64_t c = rows.numbering.Local(rows.target[e]);
      if (c == kOutsideSystem) continue;
      if (c >= hi) {
        held[count++] = {static_cast<std::uint32_t>(c), rows.rate(e) * scaled};
        continue;
      }
      out[c] -= rows.rate(e) * scaled;
    }
  }
  if (held_count != nullptr) *held_count = count;
}

template <class Rows>
void ChainGaussSeidel::SweepsAndLowerTerms(Rows rows, std::int64_t n,
                                           Eigen::VectorXd* y,
                                           Eigen::VectorXd* v,
                                           SweepProgress* progress) const {
  double* x = y->data();
  double* out = v->data();
  ForwardSweep(rows, 0, n, x, out);
  for (std::int64_t i = n - 1; i >= 0; --i) {
    // Rows i + 1 and up are done: their y and their terms below the
    // diagonal are final. Told in steps, so the two cores rarely share a
    // line of the counter.
    if ((i & (kSettleStep - 1)) == 0 || i == n - 1) {
      progress->Settle(i + 1);
    }
    const double yi = x[i];
    out[i] += yi;
    if (yi == 0) continue;
    const std::uint32_t s = rows.numbering.Global(static_cast<std::size_t>(i));
    const double scaled = yi / rows.exit[s];
    const std::size_t end = rows.End(s);
    for (std::size_t e = rows.Begin(s); e < end; ++e) {
      const std::int64_t c = rows.numbering.Local(rows.target[e]);
      if (c == kOutsideSystem) continue;
      if (c > i) break;
      const double term = rows.rate(e) * scaled;
      x[c] += term;
      out[c] -= term;
    }
  }
  progress->Settle(0);
}

// Sequentially consistent on both sides: either Settle sees the follower's
// goal and wakes it, or the follower's check under the lock sees the new
// row.
void ChainGaussSeidel::SweepProgress::Settle(std::int64_t row) {
  settled_.store(row);
  if (row <= wake_at_.load()) {
    const std::lock_guard<std::mutex> lock(mutex_);
    settled_changed_.notify_one();
  }
}

std::int64_t ChainGaussSeidel::SweepProgress::AwaitRow(std::int64_t i) {
  std::int64_t settled = settled_.load();
  if (settled <= i + 1) return settled;
  const std::int64_t goal = std::max<std::int64_t>(i + 1 - kFollowLag, 0);
  std::unique_lock<std::mutex> lock(mutex_);
  wake_at_.store(goal);
  settled_changed_.wait(lock, [&] {
    settled = settled_.load();
    return settled <= goal;
  });
  wake_at_.store(-1);
  return settled;
}

template <class Rows>
void ChainGaussSeidel::UpperTermsBehind(Rows rows, std::int64_t n,
                                        const Eigen::VectorXd& y,
                                        Eigen::VectorXd* v,
                                        SweepProgress* progress) const {
  const double* x = y.data();
  double* out = v->data();
  std::int64_t known = n + 1;
  for (std::int64_t i = n - 1; i >= 0; --i) {
    if (known > i + 1) known = progress->AwaitRow(i);
    const double yi = x[i];
    if (yi == 0) continue;
    const std::uint32_t s = rows.numbering.Global(static_cast<std::size_t>(i));
    const double scaled = yi / rows.exit[s];
    const std::size_t begin = rows.Begin(s);
    for (std::size_t e = rows.End(s); e > begin; --e) {
      const std::int64_t c = rows.numbering.Local(rows.target[e - 1]);
      if (c == kOutsideSystem) continue;
      if (c < i) break;
      out[c] -= rows.rate(e - 1) * scaled;
    }
  }
}

std::uint32_t WellVisitedState(const ChainOperator& system,
                               const Eigen::VectorXd& c, int sweeps,
                               TwoWayPool* pool) {
  const ChainGaussSeidel preconditioner(system, pool);
  // From the uniform distribution, y = 1 everywhere: the steps move weight
  // towards the states the chain favours wherever they lie. From c they
  // would only spread out from the reference, and rank its neighbours
  // first (Kanban 5: the reference's neighbour after ten steps, a state
  // of probability 3e-3 from the uniform start, where the likeliest has
  // 5e-3).
  Eigen::VectorXd z = FreshVector(c.size());
  RunInHalves(pool, system.size(), [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      z[static_cast<Eigen::Index>(i)] = system.exit(i);
    }
  });
  // r = c - B z is carried along: each step's correction y = M^-1 r and
  // B y come from one shared sweep pair, 1.5 passes over the transitions
  // where a product and a solve take 2.
  Eigen::VectorXd r = FreshVector(c.size());
  system.Apply(false, z, &r);
  Eigen::VectorXd y = FreshVector(c.size());
  Eigen::VectorXd by = FreshVector(c.size());
  // Entry by entry, so the halves of the vectors can go to the two threads:
  // the same numbers as whole-vector expressions.
  RunInHalves(pool, system.size(), [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      const auto k = static_cast<Eigen::Index>(i);
      r[k] = c[k] - r[k];
      y[k] = r[k];
    }
  });
  for (int step = 0; step < sweeps; ++step) {
    preconditioner.ApplyThenMultiply(system, false, &y, &by);
    const bool last = step + 1 == sweeps;
    RunInHalves(pool, system.size(), [&](std::size_t begin, std::size_t end) {
      for (std::size_t i = begin; i < end; ++i) {
        const auto k = static_cast<Eigen::Index>(i);
        z[k] += y[k];
        if (last) continue;
        r[k] -= by[k];
        y[k] = r[k];
      }
    });
  }
  // The reference stays at 1: only a state whose y grew above it is seen
  // as likelier.
  std::uint32_t state = kOutsideSystem;
  double largest = 1;
  for (std::size_t i = 0; i < system.size(); ++i) {
    const double y = z[static_cast<Eigen::Index>(i)] / system.exit(i);
    if (y > largest) {
      largest = y;
      state = system.global(i);
    }
  }
  return state;
}
