#include "solve/Krylov.h"

#include <algorithm>
#include <cmath>
#include <limits>

void MatrixOperator::Apply(bool transposed, const Eigen::VectorXd& x,
                           Eigen::VectorXd* y) const {
  const SystemMatrix& b = b_;
  const int* outer = b.outerIndexPtr();
  const int* inner = b.innerIndexPtr();
  const double* value = b.valuePtr();
  const Eigen::Index n = b.rows();
  if (!transposed) {
    for (Eigen::Index i = 0; i < n; ++i) {
      double sum = 0;
      for (int k = outer[i]; k < outer[i + 1]; ++k)
        sum += value[k] * x[inner[k]];
      (*y)[i] = sum;
    }
    return;
  }
  y->setZero();
  for (Eigen::Index i = 0; i < n; ++i) {
    const double xi = x[i];
    if (xi == 0) continue;
    for (int k = outer[i]; k < outer[i + 1]; ++k)
      (*y)[inner[k]] += value[k] * xi;
  }
}

bool Ilu0::Compute(const SystemMatrix& b) {
  pattern_ = &b;
  const int n = static_cast<int>(b.rows());
  const int* outer = b.outerIndexPtr();
  const int* inner = b.innerIndexPtr();
  value_.assign(b.valuePtr(), b.valuePtr() + b.nonZeros());
  diagonal_.assign(n, -1);
  // position[j] = index of (i, j) in the current row i, or -1.
  std::vector<int> position(n, -1);
  for (int i = 0; i < n; ++i) {
    for (int k = outer[i]; k < outer[i + 1]; ++k) {
      position[inner[k]] = k;
      if (inner[k] == i) diagonal_[i] = k;
    }
    if (diagonal_[i] < 0) return false;
    for (int k = outer[i]; k < outer[i + 1] && inner[k] < i; ++k) {
      const int pivot_row = inner[k];
      value_[k] /= value_[diagonal_[pivot_row]];
      const double factor = value_[k];
      for (int m = diagonal_[pivot_row] + 1; m < outer[pivot_row + 1]; ++m) {
        const int p = position[inner[m]];
        if (p >= 0) value_[p] -= factor * value_[m];
      }
    }
    const double pivot = value_[diagonal_[i]];
    if (!(std::abs(pivot) > 0) || !std::isfinite(pivot)) return false;
    for (int k = outer[i]; k < outer[i + 1]; ++k) position[inner[k]] = -1;
  }
  return true;
}

void Ilu0::Solve(Eigen::VectorXd* x) const {
  const int n = static_cast<int>(pattern_->rows());
  const int* outer = pattern_->outerIndexPtr();
  const int* inner = pattern_->innerIndexPtr();
  // L y = x (unit diagonal), then U z = y.
  for (int i = 0; i < n; ++i) {
    double sum = (*x)[i];
    for (int k = outer[i]; k < diagonal_[i]; ++k)
      sum -= value_[k] * (*x)[inner[k]];
    (*x)[i] = sum;
  }
  for (int i = n - 1; i >= 0; --i) {
    double sum = (*x)[i];
    for (int k = diagonal_[i] + 1; k < outer[i + 1]; ++k) {
      sum -= value_[k] * (*x)[inner[k]];
    }
    (*x)[i] = sum / value_[diagonal_[i]];
  }
}

void Ilu0::SolveTransposed(Eigen::VectorXd* x) const {
  const int n = static_cast<int>(pattern_->rows());
  const int* outer = pattern_->outerIndexPtr();
  const int* inner = pattern_->innerIndexPtr();
  // U^T y = x, then L^T z = y, column by column.
  for (int i = 0; i < n; ++i) {
    const double xi = (*x)[i] / value_[diagonal_[i]];
    (*x)[i] = xi;
    if (xi == 0) continue;
    for (int k = diagonal_[i] + 1; k < outer[i + 1]; ++k) {
      (*x)[inner[k]] -= value_[k] * xi;
    }
  }
  for (int i = n - 1; i >= 0; --i) {
    const double xi = (*x)[i];
    if (xi == 0) continue;
    for (int k = outer[i]; k < diagonal_[i]; ++k) {
      (*x)[inner[k]] -= value_[k] * xi;
    }
  }
}

KrylovOutcome PreconditionedBiCgStab(
    const LinearOperator& b, const Preconditioner& preconditioner,
    bool transposed, const Eigen::VectorXd& c, double tolerance,
    std::size_t max_iterations, Eigen::VectorXd* z, const IterateTest& accept,
    const IterationReport& report) {
  KrylovOutcome outcome;
  const Eigen::Index n = c.size();
  if (z->size() != n) *z = c;
  const double norm_c = c.norm();
  if (norm_c == 0) {
    z->setZero();
    outcome.converged = true;
    return outcome;
  }
  const double goal = tolerance * norm_c;
  double refused = std::numeric_limits<double>::infinity();
  // Past the goal, the residual of the recurrences goes on falling while
  // the true one stalls: a few questions there suffice.
  constexpr int kRefusalsPastGoal = 3;
  int refused_past_goal = 0;
  bool given_up = false;
  // Whether the iteration ends with *z, whose residual has this norm; the
  // two vectors are idle at the call.
  auto done = [&](double residual_norm, Eigen::VectorXd* idle,
                  Eigen::VectorXd* more) {
    if (!accept) return residual_norm <= goal;
    const double ask = std::min(refused / 10, tolerance * (norm_c + z->norm()));
    if (!(residual_norm <= ask)) return false;
    if (accept(*z, idle, more)) return true;
    refused = residual_norm;
    if (residual_norm <= goal) ++refused_past_goal;
    given_up = refused_past_goal == kRefusalsPastGoal;
    return given_up;
  };
  Eigen::VectorXd r(n);
  b.Apply(transposed, *z, &r);
  r = c - r;
  // The shadow residual only has to stay fixed: it is kept in floats,
  // scaled to a largest entry of 1 so that none leaves their range, which
  // saves 4 bytes per unknown.
  const double r_max = r.cwiseAbs().maxCoeff();
  const double r_scale = r_max > 0 && std::isfinite(r_max) ? 1 / r_max : 1;
  const Eigen::VectorXf r0 = (r * r_scale).cast<float>();
  auto shadow_dot = [&r0](const Eigen::VectorXd& x) {
    return r0.cast<double>().dot(x);
  };
  Eigen::VectorXd p = Eigen::VectorXd::Zero(n);
  Eigen::VectorXd v = Eigen::VectorXd::Zero(n);
  Eigen::VectorXd y(n);
  Eigen::VectorXd t(n);
  // s = r - alpha v takes r's place: r is not read again before it becomes
  // s - omega t, so one vector of the size of the chain is saved, and the
  // arithmetic is the same.
  Eigen::VectorXd& s = r;
  double rho = 1;
  double alpha = 1;
  double omega = 1;
  for (std::size_t it = 1; it <= max_iterations; ++it) {
    if (done(r.norm(), &y, &t)) {
      outcome.converged = !given_up;
      return outcome;
    }
    const double rho_next = shadow_dot(r);
    if (rho_next == 0 || omega == 0 || !std::isfinite(rho_next)) break;
    const double beta = (rho_next / rho) * (alpha / omega);
    rho = rho_next;
    p = r + beta * (p - omega * v);
    y = p;
    preconditioner.ApplyThenMultiply(b, transposed, &y, &v);
    const double r0v = shadow_dot(v);
    if (r0v == 0 || !std::isfinite(r0v)) break;
    alpha = rho / r0v;
    s -= alpha * v;
    outcome.iterations = it;
    if (report) report(it, norm_c > 0 ? s.norm() / norm_c : s.norm());
    *z += alpha * y;
    // y is spent and t not yet computed.
    if (done(s.norm(), &y, &t)) {
      outcome.converged = !given_up;
      return outcome;
    }
    // y is spent: it takes the preconditioned s, which saves a vector of
    // the size of the chain.
    Eigen::VectorXd& w = y;
    w = s;
    preconditioner.ApplyThenMultiply(b, transposed, &w, &t);
    const double tt = t.squaredNorm();
    if (tt == 0) break;
    omega = t.dot(s) / tt;
    *z += omega * w;
    r -= omega * t;  // r = s - omega t
  }
  // A final check: the last update may have met the goal.
  if (accept) {
    outcome.converged = accept(*z, &y, &t);
    return outcome;
  }
  b.Apply(transposed, *z, &r);
  outcome.converged = (c - r).norm() <= goal;
  return outcome;
}

KrylovOutcome PreconditionedGmres(const LinearOperator& b,
                                  const Preconditioner& preconditioner,
                                  bool transposed, const Eigen::VectorXd& c,
                                  double tolerance, std::size_t max_iterations,
                                  std::size_t restart, Eigen::VectorXd* z,
                                  const IterateTest& accept) {
  KrylovOutcome outcome;
  const Eigen::Index n = c.size();
  if (z->size() != n) *z = c;
  const double norm_c = c.norm();
  if (norm_c == 0) {
    z->setZero();
    outcome.converged = true;
    return outcome;
  }
  double goal = tolerance * norm_c;
  const auto m = static_cast<Eigen::Index>(std::max<std::size_t>(restart, 1));
  Eigen::MatrixXd basis(n, m + 1);
  Eigen::MatrixXd hessenberg = Eigen::MatrixXd::Zero(m + 1, m);
  Eigen::VectorXd cosine(m);
  Eigen::VectorXd sine(m);
  Eigen::VectorXd g(m + 1);
  Eigen::VectorXd r(n);
  Eigen::VectorXd w(n);
  // The acceptance test's second scratch vector: small beside the basis.
  Eigen::VectorXd spare(n);
  while (outcome.iterations < max_iterations) {
    b.Apply(transposed, *z, &r);
    r = c - r;
    double beta = r.norm();
    if (!std::isfinite(beta)) return outcome;
    if (beta <= goal) {
      if (!accept || accept(*z, &w, &spare)) {
        outcome.converged = true;
        return outcome;
      }
      goal = beta / 10;  // refused: ask again a decade further down
    }
    if (beta == 0) return outcome;  // refused with a zero residual
    basis.col(0) = r / beta;
    g.setZero();
    g[0] = beta;
    Eigen::Index k = 0;
    for (; k < m && outcome.iterations < max_iterations; ++k) {
      ++outcome.iterations;
      w = basis.col(k);
      preconditioner.ApplyThenMultiply(b, transposed, &w, &r);
      // Modified Gram-Schmidt.
      for (Eigen::Index i = 0; i <= k; ++i) {
        hessenberg(i, k) = basis.col(i).dot(r);
        r -= hessenberg(i, k) * basis.col(i);
      }
      const double norm = r.norm();
      hessenberg(k + 1, k) = norm;
      for (Eigen::Index i = 0; i < k; ++i) {
        const double upper = hessenberg(i, k);
        const double lower = hessenberg(i + 1, k);
        hessenberg(i, k) = cosine[i] * upper + sine[i] * lower;
        hessenberg(i + 1, k) = -sine[i] * upper + cosine[i] * lower;
      }
      const double radius = std::hypot(hessenberg(k, k), norm);
      if (radius == 0 || !std::isfinite(radius)) break;
      cosine[k] = hessenberg(k, k) / radius;
      sine[k] = norm / radius;
      hessenberg(k, k) = radius;
      hessenberg(k + 1, k) = 0;
      g[k + 1] = -sine[k] * g[k];
      g[k] *= cosine[k];
      if (norm > 0) basis.col(k + 1) = r / norm;
      if (std::abs(g[k + 1]) <= goal || norm == 0) {
        ++k;
        break;
      }
    }
    if (k == 0) return outcome;
    // z += M^-1 V y with H y = g over the first k rows.
    const Eigen::VectorXd y =
        hessenberg.topLeftCorner(k, k).triangularView<Eigen::Upper>().solve(
            g.head(k));
    w = basis.leftCols(k) * y;
    preconditioner.Apply(transposed, &w);
    *z += w;
    if (!z->allFinite()) return outcome;
  }
  b.Apply(transposed, *z, &r);
  outcome.converged = (c - r).norm() <= goal && (!accept || accept(*z, &r, &w));
  return outcome;
}
