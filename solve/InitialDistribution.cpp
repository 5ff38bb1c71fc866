#include "solve/InitialDistribution.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "output/Formats.h"
#include "solve/ChainFiles.h"

namespace {

// Each probability is a product of at most a few dozen shares, each
// rounded; their sum may miss 1 by a few units in the last place per state.
constexpr double kSumTolerance = 1e-9;

}  // namespace

Status ParseInitialDistribution(std::string_view text,
                                const std::string& file_name,
                                std::size_t num_states,
                                std::vector<double>* probabilities) {
  probabilities->clear();
  auto at = [&](std::size_t line) {
    return file_name + ":" + std::to_string(line) + ": ";
  };
  std::size_t line_number = 0;
  std::size_t pos = 0;
  double total = 0;
  while (pos < text.size()) {
    std::string_view line;
    const Status read = NextLine(text, file_name, &pos, &line_number, &line);
    if (!read.ok) return read;
    if (line_number == 1) {
      if (line != kInitialDistributionHeader) {
        return Status::Error(at(1) + "expected \"" +
                             kInitialDistributionHeader + "\"");
      }
      continue;
    }
    const std::size_t state = probabilities->size() + 1;
    const std::string expected_state = std::to_string(state);
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos ||
        line.substr(0, tab) != expected_state) {
      return Status::Error(at(line_number) + "expected state " +
                           expected_state + ", a TAB and its probability");
    }
    if (state > num_states) {
      return Status::Error(at(line_number) + "state " + expected_state +
                           " is outside the chain's 1.." +
                           std::to_string(num_states));
    }
    const std::string_view number = line.substr(tab + 1);
    double probability = 0;
    const auto [stop, ec] = std::from_chars(
        number.data(), number.data() + number.size(), probability);
    if (ec != std::errc() || stop != number.data() + number.size() ||
        !(probability > 0 && probability <= 1)) {
      return Status::Error(at(line_number) + "the probability of state " +
                           expected_state + " is not a number in (0, 1]: \"" +
                           std::string(number.substr(0, 40)) + "\"");
    }
    probabilities->push_back(probability);
    total += probability;
  }
  if (line_number == 0) {
    return Status::Error(at(1) + "the file is empty; expected \"" +
                         kInitialDistributionHeader + "\"");
  }
  if (probabilities->empty() || std::abs(total - 1) > kSumTolerance) {
    char sum[32];
    std::snprintf(sum, sizeof sum, "%.17g", total);
    return Status::Error(file_name + ": the probabilities add up to " + sum +
                         ", not 1");
  }
  return Status::Ok();
}

Status ReadInitialDistribution(const std::string& file_name,
                               std::size_t num_states,
                               std::vector<double>* probabilities,
                               bool* exists) {
  probabilities->clear();
  struct stat info;
  *exists = stat(file_name.c_str(), &info) == 0;
  if (!*exists) return Status::Ok();
  std::string text;
  const Status status = LoadFile(file_name, &text);
  if (!status.ok) return status;
  return ParseInitialDistribution(text, file_name, num_states, probabilities);
}

std::vector<double> StartVector(std::size_t num_states,
                                const std::vector<double>& probabilities) {
  std::vector<double> start(num_states, 0.0);
  if (probabilities.empty()) {
    if (num_states > 0) start[0] = 1;
    return start;
  }
  for (std::size_t s = 0; s < probabilities.size() && s < num_states; ++s) {
    start[s] = probabilities[s];
  }
  return start;
}

StateSpace WithStartState(const StateSpace& space,
                          const std::vector<double>& probabilities,
                          double rate) {
  StateSpace started;
  started.file_type = space.file_type;
  started.num_states = space.num_states + 1;
  started.num_self_loops = space.num_self_loops;
  started.num_zero_rates = space.num_zero_rates;
  if (!space.self_rate.empty()) {  // empty: the chain has no self-loop
    started.self_rate.reserve(started.num_states);
    started.self_rate.push_back(0);
    started.self_rate.insert(started.self_rate.end(), space.self_rate.begin(),
                             space.self_rate.end());
  }
  started.first.reserve(started.num_states + 1);
  started.first.push_back(0);
  for (std::size_t s = 0; s < probabilities.size(); ++s) {
    if (probabilities[s] == 0) continue;
    started.target.push_back(static_cast<std::uint32_t>(s + 1));
    started.rate.push_back(probabilities[s] * rate);
  }
  const std::size_t shift = started.target.size();
  started.target.reserve(shift + space.num_transitions());
  started.rate.reserve(shift + space.num_transitions());
  for (std::size_t s = 0; s < space.num_states; ++s) {
    started.first.push_back(shift + space.first[s]);
  }
  started.first.push_back(shift + space.num_transitions());
  for (std::size_t e = 0; e < space.num_transitions(); ++e) {
    started.target.push_back(space.target[e] + 1);
    started.rate.push_back(space.rate[e]);
  }
  return started;
}

StationaryResult SolveLongRunFrom(const StateSpace& space,
                                  const std::vector<double>& probabilities,
                                  const SolveOptions& options) {
  // The start state's rate is the chain's largest exit rate: its row is
  // then no worse scaled than the others.
  double rate = 0;
  for (std::size_t s = 0; s < space.num_states; ++s) {
    double exit = 0;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      exit += space.rate[e];
    }
    rate = std::max(rate, exit);
  }
  if (!(rate > 0)) rate = 1;
  const StateSpace started = WithStartState(space, probabilities, rate);
  // The start state earns nothing.
  std::vector<std::vector<double>> rewards;
  SolveOptions started_options = options;
  if (options.rewards != nullptr) {
    for (const std::vector<double>& reward : *options.rewards) {
      rewards.push_back({0.0});
      rewards.back().insert(rewards.back().end(), reward.begin(), reward.end());
    }
    started_options.rewards = &rewards;
  }
  StationaryResult result = SolveLongRun(started, started_options);
  if (!result.ok) return result;
  // The start state is transient and left at once: no long-run mass, and
  // its sojourn is no part of the chain's time to absorption.
  result.pi.erase(result.pi.begin());
  for (BottomClass& bottom : result.bottoms) --bottom.first_state;
  if (result.num_transient > 0) --result.num_transient;
  if (!result.excursion_time.empty()) {
    result.excursion_time.erase(result.excursion_time.begin());
  }
  result.start = "the initial distribution";
  return result;
}
