#include "solve/StateReduction.h"

#include <cmath>
#include <vector>

using Vector = Eigen::VectorXd;

bool StateReduction::Factor(const ScaledSystem& system) {
  const auto n = static_cast<Eigen::Index>(system.states.size());
  a_ = Eigen::MatrixXd::Zero(n, n);
  for (Eigen::Index j = 0; j < n; ++j) {
    for (ScaledSystem::Matrix::InnerIterator it(system.b, static_cast<int>(j));
         it; ++it) {
      if (it.col() != j) a_(j, it.col()) = -it.value();
    }
  }
  // Column i of the reduced B sums to leave[i] over the rows not yet
  // eliminated: what state i sends out of the reduced chain.
  std::vector<double> leave = system.leave;
  for (Eigen::Index k = 0; k < n; ++k) {
    const Eigen::Index rest = n - k - 1;
    const double pivot = leave[k] + a_.col(k).tail(rest).sum();
    if (!(pivot > 0) || !std::isfinite(pivot)) {
      failed_state_ = static_cast<std::size_t>(k);
      return false;
    }
    a_(k, k) = pivot;
    a_.col(k).tail(rest) /= pivot;
    const double leave_share = leave[k] / pivot;
    for (Eigen::Index i = k + 1; i < n; ++i) {
      const double u = a_(k, i);
      if (u == 0) continue;
      // Also updates the diagonal slot (i, i), which is never read: the
      // pivot is recomputed from the column when its turn comes.
      a_.col(i).tail(rest) += u * a_.col(k).tail(rest);
      leave[i] += u * leave_share;
    }
  }
  return true;
}

void StateReduction::SolveNonNegative(bool transposed, Vector* x) const {
  const Eigen::Index n = a_.rows();
  Vector& v = *x;
  if (!transposed) {
    // L y = x, then U z = y, column by column.
    for (Eigen::Index k = 0; k < n; ++k) {
      v.tail(n - k - 1) += v[k] * a_.col(k).tail(n - k - 1);
    }
    for (Eigen::Index k = n - 1; k >= 0; --k) {
      v[k] /= a_(k, k);
      v.head(k) += v[k] * a_.col(k).head(k);
    }
    return;
  }
  // U^T t = x, then L^T z = t: each a dot product with a column.
  for (Eigen::Index i = 0; i < n; ++i) {
    v[i] = (v[i] + a_.col(i).head(i).dot(v.head(i))) / a_(i, i);
  }
  for (Eigen::Index k = n - 1; k >= 0; --k) {
    v[k] += a_.col(k).tail(n - k - 1).dot(v.tail(n - k - 1));
  }
}

void StateReduction::Solve(bool transposed, Vector* x) const {
  // The same substitutions: with signs, a component of the result may lose
  // digits to cancellation, but only those that its neighbours lose too.
  SolveNonNegative(transposed, x);
}
