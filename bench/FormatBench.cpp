// Writing result files: one rate, one state block, one reward value.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <ostream>
#include <streambuf>
#include <vector>

#include "output/TransitionList.h"
#include "output/NumberFormat.h"
#include "output/StateSpaceFile.h"

namespace {

// Rates as a model makes them: a few dozen distinct values, repeated.
std::vector<double> ModelRates() {
  std::vector<double> rates;
  const double base[] = {1.0, 1.2, 1.4, 1.3, 1.1, 0.3, 0.4, 0.5, 0.9};
  for (double rate : base) {
    rates.push_back(rate);
    rates.push_back(rate * (1.0 * (0.7 / 1.0)));
    rates.push_back(rate * (1.0 * (0.3 / 1.0)));
  }
  return rates;
}

// Distinct values, as an uncached formatter always sees them.
std::vector<double> DistinctRates() {
  std::vector<double> rates;
  for (int i = 1; i <= 4096; ++i) rates.push_back(1.0 / i + 0.1 * i);
  return rates;
}

void BM_FormatRate(benchmark::State& state) {
  const std::vector<double> rates = DistinctRates();
  char text[64];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatRate(rates[i], text));
    if (++i == rates.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatRate);

void BM_RateTextCache(benchmark::State& state) {
  const std::vector<double> rates = ModelRates();
  RateTextCache cache;
  char text[64];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(cache.Format(rates[i], text));
    if (++i == rates.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RateTextCache);

void BM_FormatReward(benchmark::State& state) {
  const double values[] = {0.0, 1.0, 2.0, 3.0, 0.25, 1234567.0};
  char text[64];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatReward(values[i], text));
    if (++i == 6) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatReward);

// A stream that discards everything, so only formatting is measured.
class NullBuffer : public std::streambuf {
 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  int overflow(int c) override { return c; }
};

// One state block of eight transitions, merged from nine recorded rates.
void BM_WriteStateBlock(benchmark::State& state) {
  NullBuffer null;
  std::ostream out(&null);
  StateSpaceFile file(out);
  const std::vector<double> rates = ModelRates();
  TransitionList transitions;
  std::uint32_t number = 1;
  for (auto _ : state) {
    for (std::uint32_t k = 0; k < 9; ++k) {
      transitions.Add(number + (k * 7919u) % 8u, rates[(number + k) % 27]);
    }
    file.WriteState(number++, transitions.Merge());
    transitions.Clear();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteStateBlock);

}  // namespace
