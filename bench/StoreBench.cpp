// Reached-state store and exploration queue on synthetic images.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "generator/HybridHash.h"
#include "generator/queue.h"

namespace {

constexpr std::uint32_t kImageSize = 32;  // 16 places
constexpr std::uint64_t kTableSize = 4325341;

// `count` images, one after another: state n (from 1) at (n - 1) * size.
// Mixed images spread evenly over the table; marking images are small
// 16-bit markings, most bytes zero, as a model makes them.
std::vector<char> MakeImages(std::uint32_t count, bool markings) {
  std::vector<char> images(static_cast<std::size_t>(count) * kImageSize, 0);
  for (std::uint32_t n = 1; n <= count; ++n) {
    char* image = images.data() + static_cast<std::size_t>(n - 1) * kImageSize;
    if (markings) {
      std::uint32_t k = n;
      for (std::uint32_t place = 0; place < kImageSize / 2; ++place) {
        image[2 * place] = static_cast<char>(k % 4);
        k /= 4;
      }
    } else {
      std::uint64_t z = n + 0x9E3779B97F4A7C15u;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
      z ^= z >> 31;
      std::memcpy(image, &z, sizeof(z));
      std::memcpy(image + sizeof(z), &n, sizeof(n));
    }
  }
  return images;
}

const char* ImageAt(const std::vector<char>& images, std::uint32_t n) {
  return images.data() + static_cast<std::size_t>(n - 1) * kImageSize;
}

// One find-or-insert per new state, as exploration does.
void FillStore(HybridHash& store, const std::vector<char>& images,
               std::uint32_t count) {
  for (std::uint32_t n = 1; n <= count; ++n) {
    const char* image = ImageAt(images, n);
    benchmark::DoNotOptimize(store.FindOrInsert(image, store.Locate(image), n));
  }
}

void BM_StoreInsert(benchmark::State& state) {
  const auto count = static_cast<std::uint32_t>(state.range(0));
  const bool markings = state.range(1) != 0;
  const std::vector<char> images = MakeImages(count, markings);
  std::uint64_t probes = 0;
  for (auto _ : state) {
    HybridHash store(kImageSize, 0.5, kTableSize);
    FillStore(store, images, count);
    probes = store.ProbeCount();
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["probes/state"] = static_cast<double>(probes) / count;
  state.SetLabel(markings ? "markings" : "mixed");
}
BENCHMARK(BM_StoreInsert)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({1000000, 0})
    ->Unit(benchmark::kMillisecond);

// Growth from the smallest table: several rehashes and new blocks.
void BM_StoreGrowth(benchmark::State& state) {
  const auto count = static_cast<std::uint32_t>(state.range(0));
  const std::vector<char> images = MakeImages(count, false);
  for (auto _ : state) {
    HybridHash store(kImageSize, 0.5);
    FillStore(store, images, count);
    benchmark::DoNotOptimize(store.TableSize());
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_StoreGrowth)->Arg(400000)->Unit(benchmark::kMillisecond);

void BM_StoreLookup(benchmark::State& state) {
  const auto count = static_cast<std::uint32_t>(state.range(0));
  const bool hit = state.range(1) != 0;
  const std::vector<char> images = MakeImages(2 * count, false);
  HybridHash store(kImageSize, 0.5, kTableSize);
  FillStore(store, images, count);
  // Hits look up stored states; misses the next `count`, never stored.
  const std::uint32_t first = hit ? 1 : count + 1;
  std::uint32_t n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.Lookup(ImageAt(images, first + n)));
    if (++n == count) n = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(hit ? "hit" : "miss");
}
BENCHMARK(BM_StoreLookup)
    ->Args({10000, 1})
    ->Args({1000000, 1})
    ->Args({1000000, 0});

// The steady state of exploration: one state in, one out.
void BM_QueueEnqueueDequeue(benchmark::State& state) {
  Queue queue(kImageSize);
  const std::vector<char> images = MakeImages(1, false);
  for (std::uint32_t n = 1; n <= 1000; ++n) queue.Enqueue(images.data(), n);
  std::uint32_t n = 1001;
  for (auto _ : state) {
    queue.Enqueue(images.data(), n++);
    benchmark::DoNotOptimize(queue.Dequeue());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueueEnqueueDequeue);

// A queue that only grows, doubling when full.
void BM_QueueGrowth(benchmark::State& state) {
  const auto count = static_cast<std::uint32_t>(state.range(0));
  const std::vector<char> images = MakeImages(1, false);
  for (auto _ : state) {
    Queue queue(kImageSize);
    for (std::uint32_t n = 1; n <= count; ++n) queue.Enqueue(images.data(), n);
    benchmark::DoNotOptimize(queue.Count());
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_QueueGrowth)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
