// The solver's readers (.arm, .pvtype, .var in both record forms, .props,
// .dch, .init) on
// arbitrary bytes. The first byte picks the reader; the rest is the file.
// Whatever is accepted must satisfy what the solver relies on, and a small
// accepted chain must solve without a crash.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "solve/ChainFiles.h"
#include "solve/DeterministicChain.h"
#include "solve/InitialDistribution.h"
#include "solve/Properties.h"
#include "solve/Regenerative.h"
#include "solve/Stationary.h"
#include "solve/TwoWayPool.h"

namespace {

const std::vector<std::string> kNames = {"up", "down"};
constexpr std::size_t kStates = 3;

void CheckStateSpace(const StateSpace& space) {
  FuzzCheck(space.first.size() == space.num_states + 1, "block offsets");
  FuzzCheck(
      space.self_rate.empty() || space.self_rate.size() == space.num_states,
      "self-loop rates");
  for (std::size_t s = 0; s < space.num_states; ++s) {
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      FuzzCheck(space.target[e] < space.num_states, "target in range");
      FuzzCheck(space.target[e] != s, "self-loop kept");
      FuzzCheck(e == space.first[s] || space.target[e - 1] < space.target[e],
                "targets increase");
      FuzzCheck(space.rate[e] > 0 && std::isfinite(space.rate[e]),
                "rate positive and finite");
    }
  }
  if (space.num_states > 16) return;
  const StationaryResult result = SolveLongRun(space, SolveOptions());
  if (!result.ok) return;
  double total = 0;
  for (double p : result.pi) {
    FuzzCheck(p >= 0 && std::isfinite(p), "probability");
    total += p;
  }
  FuzzCheck(std::abs(total - 1) < 1e-6, "probabilities sum to 1");
}

void CheckDeterministicChain(const DeterministicChain& chain) {
  FuzzCheck(chain.first_delay.size() == chain.num_states + 1 &&
                chain.first_branch.size() == chain.num_states + 1 &&
                chain.first_rate.size() == chain.num_states + 1,
            "block offsets");
  for (const DeterministicChain::Delay& delay : chain.delays) {
    FuzzCheck(delay.action < chain.actions.size(), "action in range");
  }
  for (const DeterministicChain::Branch& branch : chain.branches) {
    FuzzCheck(branch.target < chain.num_states, "branch target in range");
  }
  for (const DeterministicChain::Rate& rate : chain.rates) {
    FuzzCheck(rate.target < chain.num_states, "rate target in range");
  }
  FuzzCheck(chain.first_impulse.size() == chain.branches.size() + 1,
            "impulse offsets");
  for (const DeterministicChain::Impulse& impulse : chain.impulses) {
    FuzzCheck(impulse.variable < chain.impulse_names.size(),
              "impulse variable in range");
  }
  if (chain.num_states > 16) return;
  RegenerativeOptions options;
  options.max_terms = 100000;  // keeps each input fast
  const RegenerativeResult result = SolveRegenerative(chain, options);
  if (!result.ok) return;
  double total = 0;
  for (double p : result.pi) {
    FuzzCheck(p >= 0 && std::isfinite(p), "time fraction");
    total += p;
  }
  FuzzCheck(std::abs(total - 1) < 1e-6, "time fractions sum to 1");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SilenceStandardStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1,
                              size - 1);
  switch (data[0] % 7) {
    case 0: {
      // What decides whether solve turns to a .dch beside the file.
      (void)HasDeterministicHeader(text);
      StateSpace space;
      const Status one_pass = ParseStateSpace(text, "f.arm", &space);
      if (one_pass.ok) CheckStateSpace(space);
      // Read in two parts from a point the input picks: the same chain, or
      // the same first defect.
      static TwoWayPool pool(2);
      StateSpace shared;
      const std::size_t at = text.size() * (data[0] / 7) / 37 + 1;
      const Status two_parts =
          ParseStateSpace(text, "f.arm", &shared, {&pool, 0, at, nullptr});
      FuzzCheck(
          two_parts.ok == one_pass.ok && two_parts.message == one_pass.message,
          "two parts report what one pass reports");
      if (one_pass.ok) {
        FuzzCheck(shared.first == space.first &&
                      shared.target == space.target &&
                      shared.rate == space.rate &&
                      shared.self_rate == space.self_rate &&
                      shared.num_zero_rates == space.num_zero_rates,
                  "two parts read what one pass reads");
      }
      break;
    }
    case 1: {
      std::vector<RewardVariable> variables;
      if (ParseRewardTypes(text, "f.pvtype", &variables).ok) {
        for (const RewardVariable& v : variables) {
          FuzzCheck(v.start_times.size() == v.stop_times.size(), "pairs");
        }
      }
      break;
    }
    case 2:
    case 3: {
      RewardValues values;
      if (ParseRewardValues(text, "f.var", kNames, kStates, data[0] % 7 == 2,
                            &values)
              .ok) {
        FuzzCheck(values.rate.size() == 2 && values.rate[1].size() == kStates,
                  "one value per variable and state");
      }
      break;
    }
    case 4: {
      std::vector<Property> properties;
      if (ParseProperties(text, "f.props", kNames, &properties).ok) {
        for (const Property& p : properties) {
          FuzzCheck(
              p.kind == PropertyKind::kUnsupported ||
                  p.variable < kNames.size() ||
                  (p.kind == PropertyKind::kUntil && p.variable == kEverywhere),
              "variable index");
          FuzzCheck(p.target < kNames.size(), "target index");
          FuzzCheck(p.time >= 0, "time");
          FuzzCheck(p.kind != PropertyKind::kUntil || p.time_to >= p.time,
                    "interval");
        }
      }
      break;
    }
    case 5: {
      DeterministicChain chain;
      if (ParseDeterministicChain(text, "f.dch", &chain).ok) {
        CheckDeterministicChain(chain);
      }
      break;
    }
    case 6: {
      std::vector<double> probabilities;
      if (ParseInitialDistribution(text, "f.init", kStates, &probabilities)
              .ok) {
        FuzzCheck(!probabilities.empty() && probabilities.size() <= kStates,
                  "states in range");
        double total = 0;
        for (double p : probabilities) {
          FuzzCheck(p > 0 && p <= 1, "probability");
          total += p;
        }
        FuzzCheck(std::abs(total - 1) < 1e-6, "probabilities sum to 1");
      }
      break;
    }
  }
  return 0;
}
