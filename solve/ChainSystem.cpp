#include "solve/ChainSystem.h"

#include <algorithm>
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

void ChainOperator::Apply(bool transposed, const Eigen::VectorXd& x,
                          Eigen::VectorXd* y) const {
  WithRates(space_.rate, [&](auto rate) { ApplyWith(rate, transposed, x, y); });
}

template <class Rate>
void ChainOperator::ApplyWith(Rate rate, bool transposed,
                              const Eigen::VectorXd& x,
                              Eigen::VectorXd* y) const {
  const std::size_t n = size();
  const RowOffsets& first = space_.first;
  const std::uint32_t* target = space_.target.data();
  if (!transposed) {
    // B x: column i of B is state i's jump probabilities, negated. Each
    // part of the rows reads every column for its own terms.
    y->resize(x.size());
    RunInHalves(pool_, n, [&](std::size_t begin, std::size_t end) {
      const auto b = static_cast<Eigen::Index>(begin);
      const auto count = static_cast<Eigen::Index>(end - begin);
      y->segment(b, count) = x.segment(b, count);
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t s = global(i);
        const double xi = x[static_cast<Eigen::Index>(i)] / exit_[s];
        if (xi == 0) continue;
        for (std::size_t e = first[s]; e < first[s + 1]; ++e) {
          const std::uint32_t j = local(target[e]);
          if (j >= begin && j < end) (*y)[j] -= rate(e) * xi;
        }
      }
    });
    return;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t s = global(i);
    double sum = 0;
    for (std::size_t e = first[s]; e < first[s + 1]; ++e) {
      const std::uint32_t j = local(target[e]);
      if (j != kOutsideSystem) sum += rate(e) * x[j];
    }
    const auto k = static_cast<Eigen::Index>(i);
    (*y)[k] = x[k] - sum / exit_[s];
  }
}

void ChainOperator::Residual(const Eigen::VectorXd& z, const Eigen::VectorXd& c,
                             Eigen::VectorXd* residual,
                             Eigen::VectorXd* scale) const {
  const std::size_t n = size();
  residual->resize(z.size());
  scale->resize(z.size());
  WithRates(space_.rate, [&](auto rate) {
    RunInHalves(pool_, n, [&](std::size_t begin, std::size_t end) {
      const auto b = static_cast<Eigen::Index>(begin);
      const auto count = static_cast<Eigen::Index>(end - begin);
      residual->segment(b, count) = c.segment(b, count) - z.segment(b, count);
      scale->segment(b, count) =
          c.segment(b, count).cwiseAbs() + z.segment(b, count).cwiseAbs();
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t s = global(i);
        const double zi = z[static_cast<Eigen::Index>(i)] / exit_[s];
        if (zi == 0) continue;
        for (std::size_t e = space_.first[s]; e < space_.first[s + 1]; ++e) {
          const std::uint32_t j = local(space_.target[e]);
          if (j < begin || j >= end) continue;
          const double term = rate(e) * zi;
          (*residual)[j] += term;
          (*scale)[j] += std::abs(term);
        }
      }
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
    : system_(system), pool_(pool), middle_(system.size()) {
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
  WithRates(system_.space().rate, [&](auto rate) {
    if (middle_ == system_.size()) {
      ApplyWith(rate, transposed, 0, static_cast<std::int64_t>(middle_), x);
      return;
    }
    // Each block reads and writes its own unknowns only.
    pool_->Run([&](int block) {
      ApplyWith(rate, transposed, Begin(block), End(block), x);
    });
  });
}

// Row i of L + U is state i's outgoing rates over its exit rate, negated.
// Targets increase within a row, and local numbers with them, so L's
// entries come first: the sweeps over L stop at the diagonal and those
// over U run from the row's end back to it. Entries outside lo..hi-1 are
// another block's and left out.
template <class Rate>
void ChainGaussSeidel::ApplyWith(Rate rate, bool transposed, std::int64_t lo,
                                 std::int64_t hi, Eigen::VectorXd* x) const {
  const ChainOperator& system = system_;
  const StateSpace& space = system.space();
  Eigen::VectorXd& v = *x;
  auto row = [&](std::int64_t i, std::size_t* begin, std::size_t* end) {
    const std::uint32_t s = system.global(static_cast<std::size_t>(i));
    *begin = space.first[s];
    *end = space.first[s + 1];
  };
  std::size_t begin = 0;
  std::size_t end = 0;
  if (!transposed) {
    // (I + U)^T y = x going down, then (I + L)^T z = y going up.
    for (std::int64_t i = lo; i < hi; ++i) {
      if (v[i] == 0) continue;
      const double yi = v[i] / system.exit(static_cast<std::size_t>(i));
      row(i, &begin, &end);
      for (std::size_t e = end; e > begin; --e) {
        const std::uint32_t c = system.local(space.target[e - 1]);
        if (c == kOutsideSystem || c >= hi) continue;
        if (c < i) break;
        v[c] += rate(e - 1) * yi;
      }
    }
    for (std::int64_t i = hi - 1; i >= lo; --i) {
      if (v[i] == 0) continue;
      const double zi = v[i] / system.exit(static_cast<std::size_t>(i));
      row(i, &begin, &end);
      for (std::size_t e = begin; e < end; ++e) {
        const std::uint32_t c = system.local(space.target[e]);
        if (c == kOutsideSystem || c < lo) continue;
        if (c >= i) break;
        v[c] += rate(e) * zi;
      }
    }
    return;
  }
  // (I + L) y = x going down, then (I + U) z = y going up.
  for (std::int64_t i = lo; i < hi; ++i) {
    row(i, &begin, &end);
    double sum = 0;
    for (std::size_t e = begin; e < end; ++e) {
      const std::uint32_t c = system.local(space.target[e]);
      if (c == kOutsideSystem || c < lo) continue;
      if (c >= i) break;
      sum += rate(e) * v[c];
    }
    v[i] += sum / system.exit(static_cast<std::size_t>(i));
  }
  for (std::int64_t i = hi - 1; i >= lo; --i) {
    row(i, &begin, &end);
    double sum = 0;
    for (std::size_t e = end; e > begin; --e) {
      const std::uint32_t c = system.local(space.target[e - 1]);
      if (c == kOutsideSystem || c >= hi) continue;
      if (c < i) break;
      sum += rate(e - 1) * v[c];
    }
    v[i] += sum / system.exit(static_cast<std::size_t>(i));
  }
}

void ChainGaussSeidel::ApplyThenMultiply(const LinearOperator& a,
                                         bool transposed, Eigen::VectorXd* y,
                                         Eigen::VectorXd* v) const {
  if (&a != &system_ || transposed) {
    Preconditioner::ApplyThenMultiply(a, transposed, y, v);
    return;
  }
  WithRates(system_.space().rate, [&](auto rate) {
    if (middle_ == system_.size()) {
      ApplyThenMultiplyWith(rate, 0, static_cast<std::int64_t>(middle_), y, v,
                            nullptr, nullptr);
      return;
    }
    pool_->Run([&](int block) {
      ApplyThenMultiplyWith(rate, Begin(block), End(block), y, v,
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

template <class Rate>
void ChainGaussSeidel::ApplyThenMultiplyWith(Rate rate, std::int64_t lo,
                                             std::int64_t hi,
                                             Eigen::VectorXd* y,
                                             Eigen::VectorXd* v, Held* held,
                                             std::size_t* held_count) const {
  const ChainOperator& system = system_;
  const StateSpace& space = system.space();
  Eigen::VectorXd& x = *y;
  Eigen::VectorXd& out = *v;
  std::size_t count = 0;
  // Going down, the forward sweep; out is cleared as it goes.
  for (std::int64_t i = lo; i < hi; ++i) {
    out[i] = 0;
    const double ui = x[i];
    if (ui == 0) continue;
    const std::uint32_t s = system.global(static_cast<std::size_t>(i));
    const double scaled = ui / system.exit(static_cast<std::size_t>(i));
    for (std::size_t e = space.first[s + 1]; e > space.first[s]; --e) {
      const std::uint32_t c = system.local(space.target[e - 1]);
      if (c == kOutsideSystem || c >= hi) continue;
      if (c < i) break;
      x[c] += rate(e - 1) * scaled;
    }
  }
  // Going up, x_i is final (y_i) once its row is reached: the whole row
  // goes into B y as the product would add it, and the entries before the
  // diagonal finish the sweep as well. B y is summed term by term rather
  // than as u + Lb y, which would cancel where y spans many orders of
  // magnitude.
  for (std::int64_t i = hi - 1; i >= lo; --i) {
    const double yi = x[i];
    out[i] += yi;
    if (yi == 0) continue;
    const std::uint32_t s = system.global(static_cast<std::size_t>(i));
    const double scaled = yi / system.exit(static_cast<std::size_t>(i));
    const std::size_t end = space.first[s + 1];
    std::size_t e = space.first[s];
    for (; e < end; ++e) {
      const std::uint32_t c = system.local(space.target[e]);
      if (c == kOutsideSystem) continue;
      if (c > i) break;
      const double term = rate(e) * scaled;
      if (c < lo) {
        held[count++] = {c, term};
        continue;
      }
      x[c] += term;
      out[c] -= term;
    }
    for (; e < end; ++e) {
      const std::uint32_t c = system.local(space.target[e]);
      if (c == kOutsideSystem) continue;
      if (c >= hi) {
        held[count++] = {c, rate(e) * scaled};
        continue;
      }
      out[c] -= rate(e) * scaled;
    }
  }
  if (held_count != nullptr) *held_count = count;
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
