// The model's share of exploring, alone: every state of a benchmark model
// expanded by its next-state source, without the store, the numbering or
// the files.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench/models/Fms.h"
#include "bench/models/Kanban.h"
#include "generator/NextStateSource.h"
#include "reward/PVModel.h"
#include "sansource/SanSource.h"
#include "trace/TraceFileContainer.h"

namespace {

// Every state reachable in `source`, in breadth-first order, one image
// after another.
std::vector<char> ReachableImages(SanSource& source) {
  const std::size_t size = source.StateSize();
  Successors out;
  out.Configure(size, 2 * source.RewardTypes().size());
  if (!source.InitialStates(out).ok) std::abort();
  std::unordered_set<std::string> seen;
  std::deque<std::string> waiting;
  std::vector<char> images;
  for (std::size_t k = 0; k < out.Count(); ++k) {
    waiting.emplace_back(out.Image(k), size);
    seen.insert(waiting.back());
  }
  std::uint32_t number = 0;
  while (!waiting.empty()) {
    const std::string image = std::move(waiting.front());
    waiting.pop_front();
    images.insert(images.end(), image.begin(), image.end());
    out.Clear();
    if (!source.Expand(++number, image.data(), out).ok) std::abort();
    for (std::size_t k = 0; k < out.Count(); ++k) {
      std::string next(out.Image(k), size);
      if (seen.insert(next).second) waiting.push_back(std::move(next));
    }
  }
  return images;
}

void ExpandEveryState(benchmark::State& state, std::unique_ptr<PVModel> model) {
  TraceFileContainer trace;
  SanSource source(*model, trace, 0);
  ExplorationMode mode = ExplorationMode::kNormal;
  if (!source.ChooseMode(&mode).ok) std::abort();
  // As the explorer runs it: records of known successors are never made.
  source.AllowLateRewards(true);
  const std::vector<char> images = ReachableImages(source);
  const std::size_t size = source.StateSize();
  const std::size_t states = images.size() / size;
  Successors out;
  out.Configure(size, 2 * source.RewardTypes().size());
  for (auto _ : state) {
    for (std::size_t s = 0; s < states; ++s) {
      out.Clear();
      if (!source
               .Expand(static_cast<std::uint32_t>(s + 1),
                       images.data() + s * size, out)
               .ok) {
        std::abort();
      }
      benchmark::DoNotOptimize(out.Count());
    }
  }
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(states));
}

void BM_ExpandKanban(benchmark::State& state) {
  ExpandEveryState(state, MakeKanbanModel(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ExpandKanban)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_ExpandFms(benchmark::State& state) {
  ExpandEveryState(state, MakeFmsModel(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ExpandFms)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace
