// Whole generations of the benchmark models, files included.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "bench/floor/KanbanFloor.h"
#include "bench/models/Fms.h"
#include "bench/models/Kanban.h"
#include "reward/PVModel.h"
#include "run/RunGeneration.h"

namespace {

const std::string& OutputPath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/gen_bench.XXXXXX";
    const char* dir = mkdtemp(pattern);
    return std::string(dir != nullptr ? dir : "/tmp") + "/";
  }();
  return path;
}

// Standard output goes to a discarded buffer while a generation runs.
class QuietStdout {
 public:
  QuietStdout() : saved_(std::cout.rdbuf(nullptr)) {}
  ~QuietStdout() {
    std::cout.rdbuf(saved_);
    std::cout.clear();
  }

 private:
  std::streambuf* saved_;
};

std::uint32_t Generate(PVModel* model) {
  QuietStdout quiet;
  RunSettings settings;
  settings.path = OutputPath();
  settings.name = "bench";
  if (!RunGeneration(*model, settings).ok) std::abort();
  // The state count is line 2 of the state-space file.
  std::ifstream arm(settings.path + "bench.arm");
  std::uint32_t type = 0;
  std::uint32_t states = 0;
  arm >> type >> states;
  return states;
}

void BM_GenerateKanban(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::uint32_t states = 0;
  for (auto _ : state) {
    std::unique_ptr<PVModel> model = MakeKanbanModel(n);
    states = Generate(model.get());
  }
  state.SetItemsProcessed(state.iterations() * states);
}
BENCHMARK(BM_GenerateKanban)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_GenerateFms(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::uint32_t states = 0;
  for (auto _ : state) {
    std::unique_ptr<PVModel> model = MakeFmsModel(n);
    states = Generate(model.get());
  }
  state.SetItemsProcessed(state.iterations() * states);
}
BENCHMARK(BM_GenerateFms)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_KanbanFloor(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QuietStdout quiet;
    benchmark::DoNotOptimize(
        RunKanbanFloor(n, OutputPath(), "floor", std::cout, std::cerr));
  }
  const std::int64_t states[] = {0, 160, 4600, 58400, 454475};
  state.SetItemsProcessed(state.iterations() * states[n]);
}
BENCHMARK(BM_KanbanFloor)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace
