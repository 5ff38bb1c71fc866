#include "solve/ChainSystem.h"

#include <cmath>
#include <cstring>

ChainOperator::ChainOperator(const StateSpace& space,
                             const std::vector<double>& exit,
                             const std::vector<std::uint32_t>& states,
                             const std::vector<std::uint32_t>& local)
    : space_(space), exit_(exit), states_(states), local_(local) {
  // states is increasing, so n - 1 states from 1 to n - 1 are exactly 1..n-1.
  shifted_ = states.size() + 1 == space.num_states &&
             (states.empty() ||
              (states.front() == 1 && states.back() == space.num_states - 1));
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
  const std::size_t* first = space_.first.data();
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

bool ChainIlu0::Compute(const ChainOperator& system) {
  system_ = &system;
  const StateSpace& space = system.space();
  const std::size_t n = system.size();
  factor_.assign(space.num_transitions(), 0);
  diagonal_.assign(n, 0.0);
  upper_.assign(n, 0);
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  // position[j] = the offset in the current row of its entry in column j,
  // or kNone.
  std::vector<std::size_t> position(n, kNone);
  // The current row in full precision: only its own elimination changes
  // it, and it is rounded to its stored form once, when it is done.
  std::vector<double> row;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t s = system.global(i);
    const std::size_t begin = space.first[s];
    const std::size_t end = space.first[s + 1];
    const double exit = system.exit(i);
    row.assign(end - begin, 0.0);
    for (std::size_t e = begin; e < end; ++e) {
      const std::uint32_t j = system.local(space.target[e]);
      if (j == kOutsideSystem) continue;
      row[e - begin] = -space.rate[e] / exit;
      position[j] = e - begin;
    }
    double pivot = 1;
    // Targets increase within a row, and local numbers with them, so the
    // entries left of the diagonal come first, in order.
    std::size_t e = begin;
    for (; e < end; ++e) {
      const std::uint32_t k = system.local(space.target[e]);
      if (k == kOutsideSystem) continue;
      if (k >= i) break;
      const double l = row[e - begin] / diagonal_[k];
      row[e - begin] = l;
      const std::uint32_t t = system.global(k);
      for (std::size_t m = space.first[t] + upper_[k]; m < space.first[t + 1];
           ++m) {
        const std::uint32_t c = system.local(space.target[m]);
        if (c == kOutsideSystem || c <= k) continue;
        if (c == i) {
          pivot -= l * Widen(factor_[m]);
        } else if (position[c] != kNone) {
          row[position[c]] -= l * Widen(factor_[m]);
        }
      }
    }
    if (!(pivot > 0) || !std::isfinite(pivot)) return false;
    diagonal_[i] = pivot;
    upper_[i] = static_cast<std::uint32_t>(e - begin);
    for (std::size_t e = begin; e < end; ++e) {
      const std::uint32_t j = system.local(space.target[e]);
      if (j == kOutsideSystem) continue;
      factor_[e] = Narrow(row[e - begin]);
      position[j] = kNone;
    }
  }
  return true;
}

void ChainIlu0::Apply(bool transposed, Eigen::VectorXd* x) const {
  const ChainOperator& system = *system_;
  const StateSpace& space = system.space();
  const auto n = static_cast<std::int64_t>(system.size());
  Eigen::VectorXd& v = *x;
  if (!transposed) {
    // (LU)^T = U^T L^T: U^T y = x going down, then L^T z = y going up.
    for (std::int64_t i = 0; i < n; ++i) {
      const double yi = v[i] / diagonal_[i];
      v[i] = yi;
      if (yi == 0) continue;
      const std::uint32_t s = system.global(i);
      for (std::size_t e = space.first[s] + upper_[i]; e < space.first[s + 1];
           ++e) {
        const std::uint32_t c = system.local(space.target[e]);
        if (c != kOutsideSystem && c > i) v[c] -= Widen(factor_[e]) * yi;
      }
    }
    for (std::int64_t i = n - 1; i >= 0; --i) {
      const double zi = v[i];
      if (zi == 0) continue;
      const std::uint32_t s = system.global(i);
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        const std::uint32_t c = system.local(space.target[e]);
        if (c == kOutsideSystem) continue;
        if (c >= i) break;
        v[c] -= Widen(factor_[e]) * zi;
      }
    }
    return;
  }
  // LU: L y = x going down, then U z = y going up.
  for (std::int64_t i = 0; i < n; ++i) {
    const std::uint32_t s = system.global(i);
    double sum = v[i];
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      const std::uint32_t c = system.local(space.target[e]);
      if (c == kOutsideSystem) continue;
      if (c >= i) break;
      sum -= Widen(factor_[e]) * v[c];
    }
    v[i] = sum;
  }
  for (std::int64_t i = n - 1; i >= 0; --i) {
    const std::uint32_t s = system.global(i);
    double sum = v[i];
    for (std::size_t e = space.first[s] + upper_[i]; e < space.first[s + 1];
         ++e) {
      const std::uint32_t c = system.local(space.target[e]);
      if (c != kOutsideSystem && c > i) sum -= Widen(factor_[e]) * v[c];
    }
    v[i] = sum / diagonal_[i];
  }
}
