#ifndef GEN_TESTS_SUPPORT_DENSEEXPONENTIAL_H_
#define GEN_TESTS_SUPPORT_DENSEEXPONENTIAL_H_

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// Reference values for transient measures of small chains, independent of
// uniformization: dense matrices in extended precision.

using DenseMatrix = std::vector<std::vector<long double>>;

inline DenseMatrix DenseProduct(const DenseMatrix& a, const DenseMatrix& b) {
  const std::size_t n = a.size();
  DenseMatrix c(n, std::vector<long double>(n, 0.0L));
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < n; ++k) {
      if (a[i][k] == 0) continue;
      for (std::size_t j = 0; j < n; ++j) c[i][j] += a[i][k] * b[k][j];
    }
  }
  return c;
}

// exp(m) by scaling until the norm is below 1/2, a 30-term Taylor series and
// squaring back: far beyond double precision for the norms of the tests.
inline DenseMatrix DenseExponential(DenseMatrix m) {
  const std::size_t n = m.size();
  long double norm = 0;
  for (const auto& row : m) {
    long double sum = 0;
    for (long double x : row) sum += std::fabs(x);
    norm = std::max(norm, sum);
  }
  int squarings = 0;
  while (norm > 0.5L) {
    norm /= 2;
    ++squarings;
  }
  for (auto& row : m) {
    for (long double& x : row) x = std::ldexp(x, -squarings);
  }
  DenseMatrix sum(n, std::vector<long double>(n, 0.0L));
  DenseMatrix term = sum;
  for (std::size_t i = 0; i < n; ++i) sum[i][i] = term[i][i] = 1;
  for (int k = 1; k <= 30; ++k) {
    term = DenseProduct(term, m);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) {
        term[i][j] /= k;
        sum[i][j] += term[i][j];
      }
    }
  }
  for (int s = 0; s < squarings; ++s) sum = DenseProduct(sum, sum);
  return sum;
}

// The generator matrix of n states from (from, to, rate) triples, 0-based,
// with the rows of the states in `stopped` left empty, times t.
struct DenseRate {
  std::size_t from;
  std::size_t to;
  double rate;
};

inline DenseMatrix DenseGenerator(std::size_t n,
                                  const std::vector<DenseRate>& rates,
                                  const std::vector<bool>& stopped, double t) {
  DenseMatrix q(n, std::vector<long double>(n, 0.0L));
  for (const DenseRate& r : rates) {
    if (stopped[r.from] || r.from == r.to) continue;
    q[r.from][r.to] += r.rate * static_cast<long double>(t);
    q[r.from][r.from] -= r.rate * static_cast<long double>(t);
  }
  return q;
}

// P(A U[t1,t2] B) from `start` by the Markov property: up to t1 the paths
// that stay in A (the states outside A stopped), then from each state still
// in A (at t1 = 0: in A or B) the probability of B within t2 - t1 with the
// states outside A and in B stopped. An infinite t2 stands for `long_time`,
// long enough for the chains of the tests to have settled.
inline double DenseUntil(std::size_t n, const std::vector<DenseRate>& rates,
                         const std::vector<double>& start,
                         const std::vector<bool>& in_a,
                         const std::vector<bool>& in_b, double t1, double t2,
                         double long_time = 1000) {
  std::vector<long double> at(start.begin(), start.end());
  if (t1 > 0) {
    std::vector<bool> out(n);
    for (std::size_t s = 0; s < n; ++s) out[s] = !in_a[s];
    const DenseMatrix e = DenseExponential(DenseGenerator(n, rates, out, t1));
    at.assign(n, 0.0L);
    for (std::size_t s = 0; s < n; ++s) {
      for (std::size_t c = 0; c < n; ++c) at[c] += start[s] * e[s][c];
    }
  }
  for (std::size_t s = 0; s < n; ++s) {
    if (!in_a[s] && (t1 > 0 || !in_b[s])) at[s] = 0;
  }
  std::vector<bool> stop(n);
  for (std::size_t s = 0; s < n; ++s) stop[s] = !in_a[s] || in_b[s];
  const double horizon = std::isinf(t2) ? long_time : t2 - t1;
  const DenseMatrix e =
      DenseExponential(DenseGenerator(n, rates, stop, horizon));
  long double p = 0;
  for (std::size_t s = 0; s < n; ++s) {
    for (std::size_t c = 0; c < n; ++c) {
      if (in_b[c]) p += at[s] * e[s][c];
    }
  }
  return static_cast<double>(p);
}

#endif  // GEN_TESTS_SUPPORT_DENSEEXPONENTIAL_H_
