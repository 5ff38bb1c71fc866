#include "solve/ChainSystem.h"

#include <cmath>
#include <cstring>

ChainOperator::ChainOperator(const StateSpace& space,
                             const std::vector<double>& exit,
                             const std::vector<std::uint32_t>& states,
                             const std::vector<std::uint32_t>& local)
    : space_(space), exit_(exit), states_(states), local_(local) {
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
    // B x: column i of B is state i's jump probabilities, negated.
    *y = x;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t s = global(i);
      const double xi = x[static_cast<Eigen::Index>(i)] / exit_[s];
      if (xi == 0) continue;
      for (std::size_t e = first[s]; e < first[s + 1]; ++e) {
        const std::uint32_t j = local(target[e]);
        if (j != kOutsideSystem) (*y)[j] -= rate(e) * xi;
      }
    }
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
  *residual = c - z;
  *scale = c.cwiseAbs() + z.cwiseAbs();
  WithRates(space_.rate, [&](auto rate) {
    for (std::size_t i = 0; i < size(); ++i) {
      const std::uint32_t s = global(i);
      const double zi = z[static_cast<Eigen::Index>(i)] / exit_[s];
      if (zi == 0) continue;
      for (std::size_t e = space_.first[s]; e < space_.first[s + 1]; ++e) {
        const std::uint32_t j = local(space_.target[e]);
        if (j == kOutsideSystem) continue;
        const double term = rate(e) * zi;
        (*residual)[j] += term;
        (*scale)[j] += std::abs(term);
      }
    }
  });
  *residual = residual->cwiseAbs();
}

void ChainGaussSeidel::Apply(bool transposed, Eigen::VectorXd* x) const {
  WithRates(system_.space().rate,
            [&](auto rate) { ApplyWith(rate, transposed, x); });
}

// Row i of L + U is state i's outgoing rates over its exit rate, negated.
// Targets increase within a row, and local numbers with them, so L's
// entries come first: the sweeps over L stop at the diagonal and those
// over U run from the row's end back to it.
template <class Rate>
void ChainGaussSeidel::ApplyWith(Rate rate, bool transposed,
                                 Eigen::VectorXd* x) const {
  const ChainOperator& system = system_;
  const StateSpace& space = system.space();
  const auto n = static_cast<std::int64_t>(system.size());
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
    for (std::int64_t i = 0; i < n; ++i) {
      if (v[i] == 0) continue;
      const double yi = v[i] / system.exit(static_cast<std::size_t>(i));
      row(i, &begin, &end);
      for (std::size_t e = end; e > begin; --e) {
        const std::uint32_t c = system.local(space.target[e - 1]);
        if (c == kOutsideSystem) continue;
        if (c < i) break;
        v[c] += rate(e - 1) * yi;
      }
    }
    for (std::int64_t i = n - 1; i >= 0; --i) {
      if (v[i] == 0) continue;
      const double zi = v[i] / system.exit(static_cast<std::size_t>(i));
      row(i, &begin, &end);
      for (std::size_t e = begin; e < end; ++e) {
        const std::uint32_t c = system.local(space.target[e]);
        if (c == kOutsideSystem) continue;
        if (c >= i) break;
        v[c] += rate(e) * zi;
      }
    }
    return;
  }
  // (I + L) y = x going down, then (I + U) z = y going up.
  for (std::int64_t i = 0; i < n; ++i) {
    row(i, &begin, &end);
    double sum = 0;
    for (std::size_t e = begin; e < end; ++e) {
      const std::uint32_t c = system.local(space.target[e]);
      if (c == kOutsideSystem) continue;
      if (c >= i) break;
      sum += rate(e) * v[c];
    }
    v[i] += sum / system.exit(static_cast<std::size_t>(i));
  }
  for (std::int64_t i = n - 1; i >= 0; --i) {
    row(i, &begin, &end);
    double sum = 0;
    for (std::size_t e = end; e > begin; --e) {
      const std::uint32_t c = system.local(space.target[e - 1]);
      if (c == kOutsideSystem) continue;
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
  WithRates(system_.space().rate,
            [&](auto rate) { ApplyThenMultiplyWith(rate, y, v); });
}

template <class Rate>
void ChainGaussSeidel::ApplyThenMultiplyWith(Rate rate, Eigen::VectorXd* y,
                                             Eigen::VectorXd* v) const {
  const ChainOperator& system = system_;
  const StateSpace& space = system.space();
  const auto n = static_cast<std::int64_t>(system.size());
  Eigen::VectorXd& x = *y;
  Eigen::VectorXd& out = *v;
  // Going down, the forward sweep; out is cleared as it goes.
  for (std::int64_t i = 0; i < n; ++i) {
    out[i] = 0;
    const double ui = x[i];
    if (ui == 0) continue;
    const std::uint32_t s = system.global(static_cast<std::size_t>(i));
    const double scaled = ui / system.exit(static_cast<std::size_t>(i));
    for (std::size_t e = space.first[s + 1]; e > space.first[s]; --e) {
      const std::uint32_t c = system.local(space.target[e - 1]);
      if (c == kOutsideSystem) continue;
      if (c < i) break;
      x[c] += rate(e - 1) * scaled;
    }
  }
  // Going up, x_i is final (y_i) once its row is reached: the whole row
  // goes into B y as the product would add it, and the entries before the
  // diagonal finish the sweep as well. B y is summed term by term rather
  // than as u + Lb y, which would cancel where y spans many orders of
  // magnitude.
  for (std::int64_t i = n - 1; i >= 0; --i) {
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
      x[c] += term;
      out[c] -= term;
    }
    for (; e < end; ++e) {
      const std::uint32_t c = system.local(space.target[e]);
      if (c != kOutsideSystem) out[c] -= rate(e) * scaled;
    }
  }
}

std::uint32_t WellVisitedState(const ChainOperator& system,
                               const Eigen::VectorXd& c, int sweeps) {
  const ChainGaussSeidel preconditioner(system);
  // From the uniform distribution, y = 1 everywhere: the steps move weight
  // towards the states the chain favours wherever they lie. From c they
  // would only spread out from the reference, and rank its neighbours
  // first (Kanban 5: the reference's neighbour after ten steps, a state
  // of probability 3e-3 from the uniform start, where the likeliest has
  // 5e-3).
  Eigen::VectorXd z(c.size());
  for (std::size_t i = 0; i < system.size(); ++i) {
    z[static_cast<Eigen::Index>(i)] = system.exit(i);
  }
  // r = c - B z is carried along: each step's correction y = M^-1 r and
  // B y come from one shared sweep pair, 1.5 passes over the transitions
  // where a product and a solve take 2.
  Eigen::VectorXd r(c.size());
  system.Apply(false, z, &r);
  r = c - r;
  Eigen::VectorXd y(c.size());
  Eigen::VectorXd by(c.size());
  for (int k = 0; k < sweeps; ++k) {
    y = r;
    preconditioner.ApplyThenMultiply(system, false, &y, &by);
    z += y;
    r -= by;
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
