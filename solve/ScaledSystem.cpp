#include "solve/ScaledSystem.h"

#include <cmath>

#include "solve/CompensatedSum.h"

// B is filled row by row straight into its compressed arrays: row j gathers
// the transitions into j, and visiting the sources in increasing order keeps
// every row's columns sorted, so no list of triplets (24 bytes per
// transition) is ever built.
bool BuildSystem(const StateSpace& space, const std::vector<double>& exit,
                 const std::vector<std::uint32_t>& local,
                 ScaledSystem* system) {
  const std::size_t n = system->states.size();
  constexpr auto kMaxIndex =
      static_cast<std::size_t>(std::numeric_limits<int>::max());
  if (n >= kMaxIndex) return false;
  system->exit.resize(n);
  system->leave.assign(n, 0.0);
  std::vector<std::size_t> count(n + 1, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t s = system->states[i];
    system->exit[i] = exit[s];
    ++count[i + 1];
    CompensatedSum outside;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      const std::uint32_t j = local[space.target[e]];
      if (j != kNotInSystem) {
        ++count[j + 1];
      } else {
        outside.Add(space.rate[e]);
      }
    }
    system->leave[i] = outside.Value() / exit[s];
  }
  for (std::size_t j = 0; j < n; ++j) count[j + 1] += count[j];
  const std::size_t nonzeros = count[n];
  if (nonzeros >= kMaxIndex) return false;
  ScaledSystem::Matrix& b = system->b;
  b.resize(static_cast<int>(n), static_cast<int>(n));
  b.resizeNonZeros(static_cast<Eigen::Index>(nonzeros));
  int* outer = b.outerIndexPtr();
  int* inner = b.innerIndexPtr();
  double* value = b.valuePtr();
  for (std::size_t j = 0; j <= n; ++j) outer[j] = static_cast<int>(count[j]);
  // count[j] becomes the next free slot of row j.
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t s = system->states[i];
    std::size_t slot = count[i]++;
    inner[slot] = static_cast<int>(i);
    value[slot] = 1.0;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      const std::uint32_t j = local[space.target[e]];
      if (j == kNotInSystem) continue;
      slot = count[j]++;
      inner[slot] = static_cast<int>(i);
      value[slot] = -space.rate[e] / exit[s];
    }
  }
  return true;
}

double BackwardError(const ScaledSystem::Matrix& b, const Eigen::VectorXd& z,
                     const Eigen::VectorXd& c) {
  double worst = 0;
  for (int j = 0; j < b.rows(); ++j) {
    double residual = c[j];
    double scale = std::abs(c[j]);
    for (ScaledSystem::Matrix::InnerIterator it(b, j); it; ++it) {
      const double term = it.value() * z[it.col()];
      residual -= term;
      scale += std::abs(term);
    }
    if (!std::isfinite(residual))
      return std::numeric_limits<double>::infinity();
    worst = std::max(worst, RowBackwardError(residual, scale));
  }
  return worst;
}
