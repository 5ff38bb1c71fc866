#include "solve/Transient.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "output/ShortestText.h"
#include "solve/CompensatedSum.h"

namespace {

constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;

// log(m!) - (m log m - m + log(2 pi m) / 2), the remainder of Stirling's
// formula, from its asymptotic series; for m >= 15 the first term left out
// is below 2e-21.
double StirlingRemainder(double m) {
  constexpr double kCoefficients[] = {
      1.0 / 12,   -1.0 / 360,      1.0 / 1260, -1.0 / 1680,
      1.0 / 1188, -691.0 / 360360, 1.0 / 156,  -3617.0 / 122400};
  const double m2 = m * m;
  double sum = 0;
  for (int k = 7; k >= 0; --k) sum = sum / m2 + kCoefficients[k];
  return sum / m;
}

// The weight at the mode m = floor(lambda). Below 15, e^-lambda times the
// product of lambda / i (at most 16 roundings); above, written so that no
// large terms cancel: log w_m = (m - lambda) + m log(lambda / m) -
// log(2 pi m) / 2 - remainder, all of moderate size.
double ModeWeight(double lambda, double m) {
  if (m < 15) {
    double weight = std::exp(-lambda);
    for (double i = 1; i <= m; ++i) weight *= lambda / i;
    return weight;
  }
  const double log_weight = (m - lambda) + m * std::log1p((lambda - m) / m) -
                            0.5 * std::log(2 * M_PI * m) - StirlingRemainder(m);
  return std::exp(log_weight);
}

double Dot(const std::vector<double>& a, const std::vector<double>& b) {
  CompensatedSum sum;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != 0) sum.Add(a[i] * b[i]);
  }
  return sum.Value();
}

double MaxAbs(const std::vector<double>& v) {
  double m = 0;
  for (double x : v) m = std::max(m, std::abs(x));
  return m;
}

// The exit rates of a chain and the rate Lambda it is uniformized at.
struct Uniformized {
  std::vector<double> exit;
  double rate = 1;
  double degree = 1;  // the largest number of terms of an entry of pi P
};

Uniformized Uniformize(const StateSpace& space) {
  Uniformized u;
  const std::size_t n = space.num_states;
  u.exit.assign(n, 0.0);
  std::vector<std::size_t> in_degree(n, 1);
  double rate = 0;
  for (std::size_t s = 0; s < n; ++s) {
    CompensatedSum sum;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      sum.Add(space.rate[e]);
      ++in_degree[space.target[e]];
    }
    u.exit[s] = sum.Value();
    rate = std::max(rate, u.exit[s]);
  }
  // Without transitions P is the identity for any Lambda.
  u.rate = rate == 0 ? 1 : rate;
  if (n > 0) {
    u.degree = static_cast<double>(
        *std::max_element(in_degree.begin(), in_degree.end()));
  }
  return u;
}

// next = pi P, all terms non-negative.
void Step(const StateSpace& space, const Uniformized& u,
          const std::vector<double>& pi, std::vector<double>* next) {
  const std::size_t n = space.num_states;
  for (std::size_t s = 0; s < n; ++s) {
    (*next)[s] = pi[s] * ((u.rate - u.exit[s]) / u.rate);
  }
  for (std::size_t s = 0; s < n; ++s) {
    const double p = pi[s];
    if (p == 0) continue;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      (*next)[space.target[e]] += p * (space.rate[e] / u.rate);
    }
  }
}

// The distribution at time 0: `initial`, or all mass on state 0.
std::vector<double> StartDistribution(std::size_t n,
                                      const std::vector<double>* initial) {
  if (initial != nullptr) return *initial;
  std::vector<double> pi(n, 0.0);
  if (n > 0) pi[0] = 1.0;
  return pi;
}

// The dense path multiplies up to 2^40 blocks together, so its rounding
// error grows with the number of blocks: it computes in extended precision.
using Real = long double;
constexpr Real kRealRoundoff = std::numeric_limits<Real>::epsilon() / 2;

// The dense path's block: tau = time / 2^j with Lambda tau at most
// kStepsPerBlock, squared j times. Its rounding bound doubles with every
// squaring and is a first-order estimate, sound only while it stays far
// below 1 (at 2^40 blocks, 300 states and 300 transitions into a state:
// about 1e-2). Beyond, the mass drifts away unnoticed: two states at
// t = 1e50 (2^165 blocks) gave 0 with a bound of 6e-19 where the answer is
// 0.87, and at t = 1e30 NaN.
constexpr double kStepsPerBlock = 256;
constexpr int kMaxDoublings = 40;

int DenseDoublings(double rate, double time) {
  int doublings = 0;
  double tau = time;
  while (rate * tau > kStepsPerBlock) {
    tau /= 2;
    ++doublings;
  }
  return doublings;
}

// out += M P for the dense matrix M (row-major, n x n).
void AddTimesP(const std::vector<Real>& m, const StateSpace& space,
               const std::vector<Real>& stay, Real rate,
               std::vector<Real>* out) {
  const std::size_t n = space.num_states;
  for (std::size_t row = 0; row < n; ++row) {
    const Real* from = m.data() + row * n;
    Real* to = out->data() + row * n;
    for (std::size_t s = 0; s < n; ++s) {
      const Real p = from[s];
      if (p == 0) continue;
      to[s] += p * stay[s];
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        to[space.target[e]] += p * (space.rate[e] / rate);
      }
    }
  }
}

TransientPoint DensePoint(
    const StateSpace& space, const std::vector<double>& exit, double rate,
    double degree, double time,
    const std::vector<const std::vector<double>*>& instant,
    const std::vector<const std::vector<double>*>& earning,
    const std::vector<const std::vector<double>*>& abs_of,
    const TransientOptions& options) {
  const std::size_t n = space.num_states;
  const std::size_t nv = instant.size();
  const int doublings = DenseDoublings(rate, time);
  const double tau = std::ldexp(time, -doublings);
  const double blocks = std::ldexp(1.0, doublings);
  const PoissonWindow w =
      PoissonWeights(rate * tau, std::max(options.epsilon / blocks, 1e-300));
  // Each block is raised to a power up to 2^40, so each row of P and each
  // set of weights must sum to 1 to extended precision: a row sum off by
  // one double rounding would drift the mass by that much per step.
  (void)exit;
  std::vector<Real> stay(n);
  for (std::size_t s = 0; s < n; ++s) {
    Real leave = 0;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      leave += space.rate[e] / static_cast<Real>(rate);
    }
    stay[s] = 1 - leave;
  }
  const std::size_t mode = static_cast<std::size_t>(std::floor(rate * tau));
  std::vector<Real> weight(w.weight.size());
  weight[mode - w.left] = 1;
  for (std::size_t k = mode; k < w.right; ++k) {
    weight[k + 1 - w.left] =
        weight[k - w.left] * (static_cast<Real>(rate) * tau) / (k + 1);
  }
  for (std::size_t k = mode; k > w.left; --k) {
    weight[k - 1 - w.left] =
        weight[k - w.left] * k / (static_cast<Real>(rate) * tau);
  }
  Real total = 0;
  for (Real x : weight) total += x;
  for (Real& x : weight) x /= total;

  // E = exp(Q tau) and G = Lambda * integral_0^tau exp(Q u) du, both from
  // the powers of P.
  std::vector<Real> power(n * n, 0.0);
  for (std::size_t s = 0; s < n; ++s) power[s * n + s] = 1;
  std::vector<Real> e(n * n, 0.0);
  std::vector<Real> g(n * n, 0.0);
  std::vector<Real> next(n * n);
  Real beyond = 1;
  for (std::size_t k = 0; k <= w.right; ++k) {
    const Real wk = k >= w.left ? weight[k - w.left] : 0.0;
    beyond -= wk;
    for (std::size_t i = 0; i < n * n; ++i) {
      e[i] += wk * power[i];
      g[i] += std::max(beyond, Real(0)) * power[i];
    }
    if (k == w.right) break;
    std::fill(next.begin(), next.end(), 0.0);
    AddTimesP(power, space, stay, rate, &next);
    power.swap(next);
  }
  // Per reward: a = integral exp(Q u) du r'; the columns 2v, 2v + 1 hold r'
  // and |r'|.
  std::vector<std::vector<Real>> a(2 * nv, std::vector<Real>(n, 0.0));
  for (std::size_t v = 0; v < 2 * nv; ++v) {
    const std::vector<double>& r =
        *(v % 2 == 0 ? earning[v / 2] : abs_of[nv + v / 2]);
    for (std::size_t row = 0; row < n; ++row) {
      Real sum = 0;
      for (std::size_t c = 0; c < n; ++c) sum += g[row * n + c] * r[c];
      a[v][row] = sum / rate;
    }
  }
  // Error bookkeeping, first order: relative rounding per entry (all terms
  // non-negative; the weights and P's entries carry double rounding),
  // absolute truncation per row of E, and of the integrals.
  double relative = static_cast<double>(
      (static_cast<Real>(w.right) * (degree + 3) + 2 * (w.right + 8) + 4) *
      kRealRoundoff);
  // Normalising the weights moves them by at most the mass left out.
  double truncated = 2 * (w.left_tail + w.right_tail);
  double truncated_integral =
      (static_cast<double>(w.right + 1) * truncated + w.accumulated_tail) /
      rate;
  double span = tau;
  std::vector<Real> tmp(n);
  for (int d = 0; d < doublings; ++d) {
    // integral over [0, 2 s] = integral over [0, s] + E(s) integral [0, s].
    for (std::vector<Real>& column : a) {
      for (std::size_t row = 0; row < n; ++row) {
        Real sum = 0;
        for (std::size_t c = 0; c < n; ++c) sum += e[row * n + c] * column[c];
        tmp[row] = sum;
      }
      for (std::size_t row = 0; row < n; ++row) column[row] += tmp[row];
    }
    truncated_integral = 2 * truncated_integral + truncated * span;
    std::fill(next.begin(), next.end(), 0.0);
    for (std::size_t row = 0; row < n; ++row) {
      for (std::size_t k = 0; k < n; ++k) {
        const Real x = e[row * n + k];
        if (x == 0) continue;
        for (std::size_t c = 0; c < n; ++c) {
          next[row * n + c] += x * e[k * n + c];
        }
      }
    }
    e.swap(next);
    relative = 2 * relative + static_cast<double>((n + 2) * kRealRoundoff);
    truncated *= 2;
    span *= 2;
  }
  TransientPoint point;
  point.time = time;
  point.terms = static_cast<std::size_t>(w.right) << doublings;
  const std::vector<double> start = StartDistribution(n, options.initial);
  // The start distribution's rows of E and of the integrals.
  std::vector<Real> at_time(n, 0.0);
  for (std::size_t row = 0; row < n; ++row) {
    if (start[row] == 0) continue;
    for (std::size_t c = 0; c < n; ++c) {
      at_time[c] += start[row] * e[row * n + c];
    }
  }
  auto integral = [&](const std::vector<Real>& column) {
    Real sum = 0;
    for (std::size_t row = 0; row < n; ++row) sum += start[row] * column[row];
    return static_cast<double>(sum);
  };
  for (std::size_t v = 0; v < nv; ++v) {
    Real value = 0;
    Real size = 0;
    double largest = 0;
    for (std::size_t c = 0; c < n; ++c) {
      value += at_time[c] * (*instant[v])[c];
      size += at_time[c] * (*abs_of[v])[c];
      largest = std::max(largest, std::abs((*instant[v])[c]));
    }
    // The final rounding to double is one more relative error.
    point.instant.push_back(static_cast<double>(value));
    point.instant_bound.push_back(truncated * largest +
                                  (relative + kUnitRoundoff) *
                                      static_cast<double>(size));
    double largest_rate = 0;
    for (double x : *earning[v])
      largest_rate = std::max(largest_rate, std::abs(x));
    point.accumulated.push_back(integral(a[2 * v]));
    point.accumulated_bound.push_back(truncated_integral * largest_rate +
                                      (relative + kUnitRoundoff) *
                                          integral(a[2 * v + 1]));
  }
  return point;
}

}  // namespace

PoissonWindow PoissonWeights(double lambda, double epsilon) {
  PoissonWindow window;
  if (!(lambda > 0)) {
    window.weight = {1.0};
    return window;
  }
  const double mode = std::floor(lambda);
  const double w_mode = ModeWeight(lambda, mode);
  const double half = epsilon / 2;
  const double accumulated_goal = half * std::max(lambda, 1.0);

  // Rightwards: for k >= lambda - 1 the ratio w_{k+1} / w_k = lambda / (k+1)
  // is below q = lambda / (right + 2) beyond `right`, so the tail is at most
  // a geometric series.
  std::vector<double> right_part = {w_mode};
  double k = mode;
  for (;;) {
    const double next = right_part.back() * lambda / (k + 1);
    const double q = lambda / (k + 2);
    if (q < 1) {
      const double tail = next / (1 - q);
      const double accumulated = next * q / ((1 - q) * (1 - q)) + next;
      if ((tail <= half && accumulated <= accumulated_goal) || next == 0) {
        window.right_tail = tail;
        window.accumulated_tail = accumulated;
        break;
      }
    }
    right_part.push_back(next);
    k += 1;
  }
  // Leftwards: below the mode the ratio w_{k-1} / w_k = k / lambda is at most
  // (left - 1) / lambda beyond `left`.
  std::vector<double> left_part;
  double current = w_mode;
  k = mode;
  while (k > 0) {
    const double previous = current * k / lambda;
    const double q = (k - 1) / lambda;
    const double tail = previous / (1 - q);
    if (tail <= half || previous == 0) {
      window.left_tail = tail;
      break;
    }
    left_part.push_back(previous);
    current = previous;
    k -= 1;
  }
  window.left = static_cast<std::size_t>(mode) - left_part.size();
  window.right = static_cast<std::size_t>(mode) + right_part.size() - 1;
  window.weight.assign(left_part.rbegin(), left_part.rend());
  window.weight.insert(window.weight.end(), right_part.begin(),
                       right_part.end());
  return window;
}

TransientResult SolveTransient(
    const StateSpace& space, const std::vector<double>& times,
    const std::vector<const std::vector<double>*>& instant,
    const std::vector<const std::vector<double>*>& earning,
    const TransientOptions& options) {
  TransientResult result;
  const std::size_t n = space.num_states;
  const Uniformized u = Uniformize(space);
  const std::vector<double>& exit = u.exit;
  const double rate = u.rate;
  const double degree = u.degree;
  result.rate = rate;

  std::vector<PoissonWindow> windows;
  std::vector<bool> dense;
  std::size_t steps = 0;
  for (double t : times) {
    if (!(t >= 0) || !std::isfinite(t)) {
      result.message =
          "time " + std::to_string(t) + " is not a finite time >= 0";
      return result;
    }
    const double lambda = rate * t;
    dense.push_back(n <= options.max_dense_states &&
                    lambda > options.dense_from_steps);
    if (dense.back()) {
      if (DenseDoublings(rate, t) > kMaxDoublings) {
        result.message =
            "time " + ShortestText(t) + " needs about " + ShortestText(lambda) +
            " uniformization steps (rate " + ShortestText(rate) +
            "); squaring covers at most " +
            ShortestText(std::ldexp(kStepsPerBlock, kMaxDoublings)) +
            " before its rounding swamps the result";
        return result;
      }
      windows.push_back(PoissonWindow());
      continue;
    }
    if (lambda > static_cast<double>(options.max_steps)) {
      result.message = "time " + std::to_string(t) + " needs about " +
                       std::to_string(static_cast<double>(lambda)) +
                       " uniformization steps (rate " + std::to_string(rate) +
                       "); the limit is " + std::to_string(options.max_steps);
      return result;
    }
    windows.push_back(PoissonWeights(lambda, options.epsilon));
    steps = std::max(steps, windows.back().right);
  }

  const std::size_t nv = instant.size();
  std::vector<double> scale_instant(nv);
  std::vector<double> scale_earning(nv);
  // |r| for the reward vectors that have negative entries (null: r itself).
  std::vector<std::vector<double>> magnitude(2 * nv);
  std::vector<const std::vector<double>*> abs_of(2 * nv);
  for (std::size_t v = 0; v < 2 * nv; ++v) {
    const std::vector<double>& r = v < nv ? *instant[v] : *earning[v - nv];
    (v < nv ? scale_instant[v] : scale_earning[v - nv]) = MaxAbs(r);
    abs_of[v] = &r;
    if (std::any_of(r.begin(), r.end(), [](double x) { return x < 0; })) {
      for (double x : r) magnitude[v].push_back(std::abs(x));
      abs_of[v] = &magnitude[v];
    }
  }
  // Per time point: sum_{j > k} w_j over the window, for the accumulated
  // measure (P(N > k) up to the tails), built from the right.
  std::vector<std::vector<double>> beyond(windows.size());
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const PoissonWindow& w = windows[i];
    if (dense[i]) continue;
    beyond[i].assign(w.right + 1, 0.0);
    CompensatedSum sum;
    for (std::size_t k = w.right; k-- > 0;) {
      if (k + 1 >= w.left) sum.Add(w.weight[k + 1 - w.left]);
      beyond[i][k] = sum.Value();
    }
  }
  // For the early stop, per time point and iterate k: sum_{j > k} (j - k)
  // w_j, and the same two sums over P(N > j) for the accumulated measure.
  // Short series are cheap: only a long one is worth the looser bound.
  const bool may_stop = options.stop_at_steady_state &&
                        static_cast<double>(steps) >= options.steady_from_steps;
  std::vector<std::vector<double>> weight_moment(windows.size());
  std::vector<std::vector<double>> beyond_sum(windows.size());
  std::vector<std::vector<double>> beyond_moment(windows.size());
  for (std::size_t i = 0; i < windows.size() && may_stop; ++i) {
    if (dense[i]) continue;
    const std::size_t right = windows[i].right;
    weight_moment[i].assign(right + 1, 0.0);
    beyond_sum[i].assign(right + 1, 0.0);
    beyond_moment[i].assign(right + 1, 0.0);
    for (std::size_t k = right; k-- > 0;) {
      weight_moment[i][k] = weight_moment[i][k + 1] + beyond[i][k];
      beyond_sum[i][k] = beyond_sum[i][k + 1] + beyond[i][k + 1];
      beyond_moment[i][k] = beyond_moment[i][k + 1] + beyond_sum[i][k];
    }
  }
  // Half the spread of each reward: a change of the distribution by d in
  // the 1-norm, at equal mass, moves its expected value by at most d times
  // this.
  std::vector<double> half_spread(2 * nv);
  for (std::size_t v = 0; v < 2 * nv; ++v) {
    const std::vector<double>& r = v < nv ? *instant[v] : *earning[v - nv];
    if (r.empty()) continue;
    const auto [low, high] = std::minmax_element(r.begin(), r.end());
    half_spread[v] = (*high - *low) / 2;
  }
  std::vector<std::vector<CompensatedSum>> instant_sum(
      windows.size(), std::vector<CompensatedSum>(nv));
  std::vector<std::vector<CompensatedSum>> accumulated_sum(
      windows.size(), std::vector<CompensatedSum>(nv));
  // The same series over |r|, which scale the rounding errors.
  std::vector<std::vector<double>> instant_size(windows.size(),
                                                std::vector<double>(nv));
  std::vector<std::vector<double>> accumulated_size(windows.size(),
                                                    std::vector<double>(nv));
  // Bounds on what the early stop leaves out.
  std::vector<std::vector<double>> instant_settled(windows.size(),
                                                   std::vector<double>(nv));
  std::vector<std::vector<double>> accumulated_settled(windows.size(),
                                                       std::vector<double>(nv));

  // Without impulses the earning rate is the rate reward: one product then
  // serves both series.
  std::vector<bool> same(nv);
  for (std::size_t v = 0; v < nv; ++v) {
    same[v] = instant[v] == earning[v] || *instant[v] == *earning[v];
  }
  // This iterate's products: r, earning rate, |r|, |earning rate|.
  std::vector<std::array<double, 4>> products(nv);
  std::vector<double> pi = StartDistribution(n, options.initial);
  std::vector<double> next(n, 0.0);
  std::size_t taken = steps;
  for (std::size_t k = 0; k <= steps; ++k) {
    for (std::size_t v = 0; v < nv; ++v) {
      const double at = Dot(pi, *instant[v]);
      const double earned = same[v] ? at : Dot(pi, *earning[v]);
      const double at_size =
          abs_of[v] == instant[v] ? std::abs(at) : Dot(pi, *abs_of[v]);
      const double earned_size = abs_of[nv + v] == earning[v]
                                     ? std::abs(earned)
                                     : Dot(pi, *abs_of[nv + v]);
      products[v] = {at, earned, at_size, earned_size};
      for (std::size_t i = 0; i < windows.size(); ++i) {
        const PoissonWindow& w = windows[i];
        if (k > w.right || dense[i]) continue;
        if (k >= w.left) {
          instant_sum[i][v].Add(w.weight[k - w.left] * at);
          instant_size[i][v] += w.weight[k - w.left] * at_size;
        }
        accumulated_sum[i][v].Add(beyond[i][k] * earned);
        accumulated_size[i][v] += beyond[i][k] * earned_size;
      }
    }
    if (k == steps) break;
    Step(space, u, pi, &next);
    constexpr std::size_t kCheckEvery = 8;
    if (may_stop && k % kCheckEvery == kCheckEvery - 1) {
      CompensatedSum change;
      for (std::size_t s = 0; s < n; ++s) change.Add(std::abs(next[s] - pi[s]));
      // The exact step from this iterate, x P - x, differs from the computed
      // one by the rounding of one step. Every later exact iterate y_j of x
      // moves at most that far per step (P does not expand the 1-norm), so
      // |y_j - x| <= (j - k) drift.
      const double drift =
          change.Value() * (1 + static_cast<double>(n + 2) * kUnitRoundoff) +
          (degree + 3) * kUnitRoundoff;
      bool settled = true;
      for (std::size_t i = 0; i < windows.size() && settled; ++i) {
        if (dense[i] || k >= windows[i].right) continue;
        // Stop when what is left out is within the tolerance, or within
        // the rounding error the whole series would carry anyway.
        const double right = static_cast<double>(windows[i].right);
        const double threshold =
            std::max(options.steady_tolerance,
                     (right * (degree + 3) + 2 * (right + 8)) * kUnitRoundoff);
        for (std::size_t v = 0; v < nv && settled; ++v) {
          settled = weight_moment[i][k] * drift * half_spread[v] <=
                        threshold * scale_instant[v] &&
                    beyond_moment[i][k] * drift * half_spread[nv + v] / rate <=
                        threshold * scale_earning[v] * times[i];
        }
      }
      if (settled) {
        // Every later iterate is taken as this one: the instant measure gets
        // the rest of the weights, the accumulated one the rest of the time
        // at this iterate's rate.
        for (std::size_t i = 0; i < windows.size(); ++i) {
          if (dense[i] || k >= windows[i].right) continue;
          for (std::size_t v = 0; v < nv; ++v) {
            const auto& [at, earned, at_size, earned_size] = products[v];
            instant_sum[i][v].Add(beyond[i][k] * at);
            instant_size[i][v] += beyond[i][k] * at_size;
            accumulated_sum[i][v].Add(beyond_sum[i][k] * earned);
            accumulated_size[i][v] += beyond_sum[i][k] * earned_size;
            instant_settled[i][v] =
                weight_moment[i][k] * drift * half_spread[v];
            accumulated_settled[i][v] =
                beyond_moment[i][k] * drift * half_spread[nv + v] / rate;
          }
        }
        taken = k;
        result.steady = true;
        break;
      }
    }
    pi.swap(next);
  }
  result.iterations = taken;
  result.planned = steps;

  for (std::size_t i = 0; i < windows.size(); ++i) {
    const PoissonWindow& w = windows[i];
    if (dense[i]) {
      result.points.push_back(DensePoint(space, exit, rate, degree, times[i],
                                         instant, earning, abs_of, options));
      continue;
    }
    TransientPoint point;
    point.time = times[i];
    point.terms = w.right;
    // Rounding: every entry of pi P is a sum of at most in-degree + 1
    // non-negative products, so each step adds at most (in-degree + 3)
    // roundings to the relative error of every entry, and the relative
    // error of a component after k steps stays below k (in-degree + 3) u.
    // The weights carry about two roundings per step away from the mode,
    // and the compensated dot products a few more.
    const double steps_here = static_cast<double>(std::min(w.right, taken));
    const double rounding =
        (steps_here * (degree + 3) + 2 * (steps_here + 8)) * kUnitRoundoff;
    for (std::size_t v = 0; v < nv; ++v) {
      point.instant.push_back(instant_sum[i][v].Value());
      point.instant_bound.push_back(
          (w.left_tail + w.right_tail) * scale_instant[v] +
          rounding * instant_size[i][v] + instant_settled[i][v]);
      point.accumulated.push_back(accumulated_sum[i][v].Value() / rate);
      // Below the window, P(N > k) is short by at most the left tail; beyond
      // it, the terms are bounded by the accumulated tail.
      const double missing =
          (static_cast<double>(w.right + 1) * (w.left_tail + w.right_tail) +
           w.accumulated_tail) /
          rate;
      point.accumulated_bound.push_back(
          missing * scale_earning[v] +
          rounding * accumulated_size[i][v] / rate + accumulated_settled[i][v]);
    }
    result.points.push_back(std::move(point));
  }
  result.ok = true;
  return result;
}

StateSpace MakeAbsorbing(const StateSpace& space,
                         const std::vector<bool>& absorbing) {
  StateSpace copy;
  copy.file_type = space.file_type;
  copy.num_states = space.num_states;
  copy.self_rate = space.self_rate;
  copy.first.reserve(space.num_states + 1);
  copy.first.push_back(0);
  for (std::size_t s = 0; s < space.num_states; ++s) {
    if (!absorbing[s]) {
      for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
        copy.target.push_back(space.target[e]);
        copy.rate.push_back(space.rate[e]);
      }
    } else if (s < copy.self_rate.size()) {
      copy.self_rate[s] = 0;
    }
    copy.first.push_back(copy.target.size());
  }
  return copy;
}

TransientDistribution DistributionAt(const StateSpace& space, double time,
                                     const TransientOptions& options) {
  TransientDistribution result;
  const std::size_t n = space.num_states;
  const Uniformized u = Uniformize(space);
  const double lambda = u.rate * time;
  if (!(time >= 0) || !std::isfinite(time)) {
    result.message =
        "time " + std::to_string(time) + " is not a finite time >= 0";
    return result;
  }
  if (lambda > static_cast<double>(options.max_steps)) {
    result.message = "time " + std::to_string(time) + " needs about " +
                     std::to_string(lambda) + " uniformization steps (rate " +
                     std::to_string(u.rate) + "); the limit is " +
                     std::to_string(options.max_steps);
    return result;
  }
  const PoissonWindow w = PoissonWeights(lambda, options.epsilon);
  std::vector<double> pi = StartDistribution(n, options.initial);
  std::vector<double> next(n, 0.0);
  result.pi.assign(n, 0.0);
  for (std::size_t k = 0;; ++k) {
    if (k >= w.left) {
      const double weight = w.weight[k - w.left];
      for (std::size_t s = 0; s < n; ++s) result.pi[s] += weight * pi[s];
    }
    if (k == w.right) break;
    Step(space, u, pi, &next);
    pi.swap(next);
  }
  // Each entry is a sum of non-negative terms, so the rounding bound of the
  // series applies to the 1-norm; the mass of the start distribution is at
  // most 1.
  const double steps = static_cast<double>(w.right);
  const double rounding =
      (steps * (u.degree + 3) + 2 * (steps + 8) + steps + 1) * kUnitRoundoff;
  result.error = w.left_tail + w.right_tail + rounding;
  result.steps = w.right;
  result.ok = true;
  return result;
}
