#include "solve/Aggregation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "solve/ChainFiles.h"
#include "solve/Components.h"
#include "solve/StateReduction.h"

namespace {

using Vector = Eigen::VectorXd;
using RowMatrix = ScaledSystem::Matrix;

// Jumps at least this likely hold a block together.
constexpr double kStrongJump = 1e-4;
// Most blocks: the aggregated chain is factored densely at every step.
constexpr std::size_t kMaxBlocks = 500;
// Gauss-Seidel sweeps after each aggregation step.
constexpr std::size_t kSmoothingSweeps = 10;

// The block of each unknown and the number of blocks.
std::vector<std::uint32_t> Blocks(const RowMatrix& b, std::size_t* count) {
  const auto n = static_cast<std::size_t>(b.rows());
  // The graph of the strong jumps, source by source (row j of B holds the
  // jumps into j).
  StateSpace graph;
  graph.num_states = n;
  std::vector<std::size_t> first(n + 1, 0);
  for (int j = 0; j < b.rows(); ++j) {
    for (RowMatrix::InnerIterator it(b, j); it; ++it) {
      if (it.col() != j && -it.value() >= kStrongJump) {
        ++first[static_cast<std::size_t>(it.col()) + 1];
      }
    }
  }
  for (std::size_t i = 0; i < n; ++i) first[i + 1] += first[i];
  for (std::size_t offset : first) graph.first.push_back(offset);
  graph.target.resize(first[n]);
  // Only the pattern matters to the components; every rate is 1.
  graph.rate.reserve(first[n]);
  for (std::size_t e = 0; e < first[n]; ++e) graph.rate.push_back(1.0);
  graph.rate.FinishAppending();
  std::vector<std::size_t> next(first.begin(), first.end() - 1);
  for (int j = 0; j < b.rows(); ++j) {
    for (RowMatrix::InnerIterator it(b, j); it; ++it) {
      if (it.col() != j && -it.value() >= kStrongJump) {
        graph.target[next[static_cast<std::size_t>(it.col())]++] =
            static_cast<std::uint32_t>(j);
      }
    }
  }
  Components components = StronglyConnectedComponents(graph);
  *count = components.count;
  return std::move(components.id);
}

}  // namespace

MethodSolve SolveByAggregation(const ScaledSystem& system,
                               const SolveOptions& options, Vector* z) {
  const RowMatrix& b = system.b;
  const auto n = static_cast<std::size_t>(b.rows());
  std::size_t count = 0;
  const std::vector<std::uint32_t> block = Blocks(b, &count);
  if (count < 2 || count > kMaxBlocks) {
    return {0, "aggregation found " + std::to_string(count) +
                   " blocks of strongly coupled states (it needs 2 to " +
                   std::to_string(kMaxBlocks) + ")"};
  }
  const auto k = static_cast<Eigen::Index>(count);
  *z = system.c;
  MethodSolve outcome;
  outcome.iterations = GaussSeidelSweeps(system, kSmoothingSweeps, 0, z);
  Vector coarse_c = Vector::Zero(k);
  for (std::size_t j = 0; j < n; ++j) {
    coarse_c[block[j]] += system.c[static_cast<Eigen::Index>(j)];
  }
  ScaledSystem coarse;
  coarse.states.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    coarse.states[i] = static_cast<std::uint32_t>(i);
  }
  Eigen::MatrixXd jumps(k, k);
  Vector weight(static_cast<Eigen::Index>(n));
  while (outcome.iterations < options.max_iterations) {
    // The shape of z inside each block, uniform where z vanishes.
    Vector total = Vector::Zero(k);
    Vector size = Vector::Zero(k);
    for (std::size_t i = 0; i < n; ++i) {
      total[block[i]] += std::max(0.0, (*z)[static_cast<Eigen::Index>(i)]);
      size[block[i]] += 1;
    }
    for (std::size_t i = 0; i < n; ++i) {
      const auto ii = static_cast<Eigen::Index>(i);
      const Eigen::Index at = block[i];
      weight[ii] =
          total[at] > 0 ? std::max(0.0, (*z)[ii]) / total[at] : 1.0 / size[at];
    }
    // The chain of the blocks: block I jumps to J with the weighted
    // probability of its states' jumps into J, and out with theirs.
    jumps.setZero();
    coarse.leave.assign(count, 0.0);
    for (std::size_t j = 0; j < n; ++j) {
      for (RowMatrix::InnerIterator it(b, static_cast<int>(j)); it; ++it) {
        const auto i = static_cast<std::size_t>(it.col());
        if (block[i] != block[j]) {
          jumps(block[j], block[i]) += -it.value() * weight[it.col()];
        }
      }
    }
    for (std::size_t i = 0; i < n; ++i) {
      coarse.leave[block[i]] +=
          system.leave[i] * weight[static_cast<Eigen::Index>(i)];
    }
    coarse.b = (-jumps).sparseView();
    StateReduction reduction;
    if (!reduction.Factor(coarse)) {
      return {outcome.iterations,
              "aggregation: the chain of the blocks has no way out"};
    }
    Vector aggregate = coarse_c;
    reduction.SolveNonNegative(false, &aggregate);
    for (std::size_t i = 0; i < n; ++i) {
      const auto ii = static_cast<Eigen::Index>(i);
      (*z)[ii] = aggregate[block[i]] * weight[ii];
    }
    outcome.iterations +=
        GaussSeidelSweeps(system, kSmoothingSweeps, options.tolerance, z);
    const double error = BackwardError(b, *z, system.c);
    if (error <= options.tolerance || !std::isfinite(error)) break;
  }
  return outcome;
}
