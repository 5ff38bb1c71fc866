#include "solve/Regenerative.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "output/ShortestText.h"
#include "solve/CompensatedSum.h"
#include "solve/Components.h"

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// How far the probabilities of a kernel row may miss 1 before the chain is
// refused: far above rounding, far below any modelling error.
constexpr double kRowSumTolerance = 1e-9;

// One row of the embedded chain: where the next regeneration point leads
// (all firings, and the deterministic ones alone, for impulses) and the
// expected time spent in each state until then.
struct KernelRow {
  std::vector<std::pair<std::uint32_t, double>> next;
  std::vector<std::pair<std::uint32_t, double>> fired;
  std::vector<std::pair<std::uint32_t, double>> time;
  // Per reward variable: the impulses that deterministic firings earn until
  // then, expected; empty when the chain has none.
  std::vector<double> earned;
  double sojourn = 0;  // sum of the times; infinite for an absorbing state
  double time_truncation = 0;  // bound on the time left out by the series
};

// Sums entries of equal state, in state order.
void Merge(std::vector<std::pair<std::uint32_t, double>>* entries) {
  std::sort(entries->begin(), entries->end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::size_t kept = 0;
  for (const auto& entry : *entries) {
    if (kept > 0 && (*entries)[kept - 1].first == entry.first) {
      (*entries)[kept - 1].second += entry.second;
    } else {
      (*entries)[kept++] = entry;
    }
  }
  entries->resize(kept);
}

// The Poisson probabilities of 0..N events at mean `mean` with
// P(X > N) <= epsilon, and P(X > n) for each n, summed from the top so that
// small tails keep their digits. False when N would exceed `max_terms`.
bool PoissonSeries(double mean, double epsilon, std::size_t max_terms,
                   std::vector<double>* pmf, std::vector<double>* above) {
  auto term = [mean](double n) {
    return std::exp(-mean + n * std::log(mean) - std::lgamma(n + 1));
  };
  // Past the mode the terms fall faster than geometrically with ratio
  // mean / (n + 1), which bounds the tail beyond n.
  auto tail_beyond = [&](std::size_t n) {
    const double next = term(static_cast<double>(n + 1));
    const double ratio = mean / static_cast<double>(n + 2);
    return ratio < 1 ? next / (1 - ratio) : kInfinity;
  };
  if (!(mean < static_cast<double>(max_terms))) return false;
  std::size_t last = static_cast<std::size_t>(std::ceil(mean));
  while (tail_beyond(last) > epsilon) {
    if (++last > max_terms) return false;
  }
  pmf->resize(last + 1);
  above->resize(last + 1);
  for (std::size_t n = 0; n <= last; ++n) {
    (*pmf)[n] = term(static_cast<double>(n));
  }
  double tail = tail_beyond(last);
  for (std::size_t n = last + 1; n-- > 0;) {
    (*above)[n] = tail;
    tail += (*pmf)[n];
  }
  return true;
}

class Builder {
 public:
  Builder(const DeterministicChain& chain, const RegenerativeOptions& options)
      : chain_(chain), options_(options), local_(chain.num_states, kNone) {}

  // The row of state `s`; false with message_ set when it is refused.
  bool Row(std::uint32_t s, KernelRow* row) {
    *row = KernelRow();
    if (chain_.first_delay[s] == chain_.first_delay[s + 1]) {
      ExponentialRow(s, row);
      return true;
    }
    return DelayRow(s, row);
  }

  const std::string& message() const { return message_; }
  std::size_t series_terms() const { return series_terms_; }
  double largest_mean() const { return largest_mean_; }

 private:
  void ExponentialRow(std::uint32_t s, KernelRow* row) {
    double exit = 0;
    for (std::size_t e = chain_.first_rate[s]; e < chain_.first_rate[s + 1];
         ++e) {
      // A self-loop changes nothing here; its impulses are counted from
      // the time averages.
      if (chain_.rates[e].target != s) exit += chain_.rates[e].rate;
    }
    if (exit == 0) {
      row->sojourn = kInfinity;
      return;
    }
    for (std::size_t e = chain_.first_rate[s]; e < chain_.first_rate[s + 1];
         ++e) {
      const DeterministicChain::Rate& rate = chain_.rates[e];
      if (rate.target != s)
        row->next.emplace_back(rate.target, rate.rate / exit);
    }
    Merge(&row->next);
    row->time.emplace_back(s, 1 / exit);
    row->sojourn = 1 / exit;
  }

  std::string Name(std::uint32_t s) const {
    return chain_.actions[chain_.delays[chain_.first_delay[s]].action];
  }

  bool DelayRow(std::uint32_t start, KernelRow* row) {
    const DeterministicChain::Delay clock =
        chain_.delays[chain_.first_delay[start]];
    // The subordinated chain: the states its clock runs through.
    std::vector<std::uint32_t>& states = states_;
    states.assign(1, start);
    local_[start] = 0;
    for (std::size_t i = 0; i < states.size(); ++i) {
      const std::uint32_t s = states[i];
      for (std::size_t e = chain_.first_rate[s]; e < chain_.first_rate[s + 1];
           ++e) {
        const DeterministicChain::Rate& rate = chain_.rates[e];
        if ((rate.kept & 1) == 0 || local_[rate.target] != kNone) continue;
        const std::size_t first = chain_.first_delay[rate.target];
        const bool alone = chain_.first_delay[rate.target + 1] - first == 1 &&
                           chain_.delays[first].action == clock.action;
        if (!alone || chain_.delays[first].delay != clock.delay) {
          message_ = "the clock of " + chain_.actions[clock.action] +
                     " (delay " + ShortestText(clock.delay) +
                     ") runs on from state " + std::to_string(s + 1) +
                     " into state " + std::to_string(rate.target + 1) +
                     (alone ? ", where its delay is " +
                                  ShortestText(chain_.delays[first].delay) +
                                  "; a clock that keeps running keeps its "
                                  "delay"
                            : ", where it is not the one deterministic "
                              "activity enabled");
          Reset();
          return false;
        }
        local_[rate.target] = static_cast<std::uint32_t>(states.size());
        states.push_back(rate.target);
      }
    }

    const std::size_t n = states.size();
    std::vector<double> exit(n, 0.0);
    double uniform = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t s = states[i];
      for (std::size_t e = chain_.first_rate[s]; e < chain_.first_rate[s + 1];
           ++e) {
        const DeterministicChain::Rate& rate = chain_.rates[e];
        if ((rate.kept & 1) == 0 || rate.target != s) exit[i] += rate.rate;
      }
      uniform = std::max(uniform, exit[i]);
    }
    const double mean = uniform * clock.delay;
    std::vector<double> at_delay(n, 0.0);  // probabilities at the delay
    std::vector<double> time(n, 0.0);      // expected time in [0, delay]
    if (mean == 0) {
      at_delay[0] = 1;
      time[0] = clock.delay;
    } else {
      if (!PoissonSeries(mean, options_.epsilon, options_.max_terms, &pmf_,
                         &above_)) {
        message_ = "the delay " + ShortestText(clock.delay) + " of " +
                   chain_.actions[clock.action] + " from state " +
                   std::to_string(start + 1) +
                   " is too long against rates up to " + ShortestText(uniform) +
                   ": its series needs more than " +
                   std::to_string(options_.max_terms) + " terms";
        Reset();
        return false;
      }
      series_terms_ = std::max(series_terms_, pmf_.size());
      largest_mean_ = std::max(largest_mean_, mean);
      std::vector<double> v(n, 0.0);
      std::vector<double> w(n, 0.0);
      v[0] = 1;
      for (std::size_t k = 0; k < pmf_.size(); ++k) {
        for (std::size_t i = 0; i < n; ++i) {
          at_delay[i] += pmf_[k] * v[i];
          time[i] += above_[k] / uniform * v[i];
        }
        if (k + 1 == pmf_.size()) break;
        // One step of the uniformized chain; "r" firings leave it.
        for (std::size_t i = 0; i < n; ++i)
          w[i] = v[i] * (1 - exit[i] / uniform);
        for (std::size_t i = 0; i < n; ++i) {
          if (v[i] == 0) continue;
          const std::uint32_t s = states[i];
          for (std::size_t e = chain_.first_rate[s];
               e < chain_.first_rate[s + 1]; ++e) {
            const DeterministicChain::Rate& rate = chain_.rates[e];
            if ((rate.kept & 1) != 0 && rate.target != s) {
              w[local_[rate.target]] += v[i] * rate.rate / uniform;
            }
          }
        }
        std::swap(v, w);
      }
      // The series leaves out at most epsilon of the probability at the
      // delay and delay * epsilon of the time: E[X; X > N] / uniform.
      row->time_truncation = clock.delay * options_.epsilon;
    }

    row->earned.assign(chain_.impulse_names.size(), 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t s = states[i];
      if (time[i] > 0) row->time.emplace_back(s, time[i]);
      row->sojourn += time[i];
      for (std::size_t b = chain_.first_branch[s];
           b < chain_.first_branch[s + 1]; ++b) {
        const DeterministicChain::Branch& branch = chain_.branches[b];
        const double fired = at_delay[i] * branch.probability;
        row->fired.emplace_back(branch.target, fired);
        for (std::size_t k = chain_.first_impulse[b];
             k < chain_.first_impulse[b + 1]; ++k) {
          const DeterministicChain::Impulse& impulse = chain_.impulses[k];
          row->earned[impulse.variable] += fired * impulse.amount;
        }
      }
      for (std::size_t e = chain_.first_rate[s]; e < chain_.first_rate[s + 1];
           ++e) {
        const DeterministicChain::Rate& rate = chain_.rates[e];
        if ((rate.kept & 1) == 0) {
          row->next.emplace_back(rate.target, time[i] * rate.rate);
        }
      }
    }
    Merge(&row->fired);
    row->next.insert(row->next.end(), row->fired.begin(), row->fired.end());
    Merge(&row->next);
    // A branch whose probability underflowed to 0 is no transition: the
    // embedded chain must not see an edge it cannot take.
    row->next.erase(
        std::remove_if(row->next.begin(), row->next.end(),
                       [](const auto& entry) { return !(entry.second > 0); }),
        row->next.end());
    Merge(&row->time);
    Reset();
    return true;
  }

  void Reset() {
    for (std::uint32_t s : states_) local_[s] = kNone;
    states_.clear();
  }

  const DeterministicChain& chain_;
  const RegenerativeOptions& options_;
  std::vector<std::uint32_t> local_;  // state -> index in states_, or kNone
  std::vector<std::uint32_t> states_;
  std::vector<double> pmf_;
  std::vector<double> above_;
  std::size_t series_terms_ = 0;
  double largest_mean_ = 0;
  std::string message_;
};

}  // namespace

RegenerativeResult SolveRegenerative(const DeterministicChain& chain,
                                     const RegenerativeOptions& options) {
  RegenerativeResult result;
  const std::size_t num_states = chain.num_states;
  for (std::size_t s = 0; s < num_states; ++s) {
    const std::size_t first = chain.first_delay[s];
    const std::size_t count = chain.first_delay[s + 1] - first;
    if (count > 1) {
      std::string names;
      for (std::size_t j = first; j < first + count; ++j) {
        names +=
            (j == first ? "" : ", ") + chain.actions[chain.delays[j].action];
      }
      result.message = "state " + std::to_string(s + 1) + " enables " +
                       std::to_string(count) +
                       " deterministic activities at once (" + names +
                       "); the embedded chain allows one per state";
      return result;
    }
  }
  if (num_states == 0) {
    result.message = "the chain has no state";
    return result;
  }

  // The regeneration points reached from state 1, numbered as found.
  Builder builder(chain, options);
  std::vector<std::uint32_t> index(num_states, kNone);
  std::vector<std::uint32_t> points{0};
  std::vector<KernelRow> rows;
  index[0] = 0;
  for (std::size_t p = 0; p < points.size(); ++p) {
    KernelRow row;
    if (!builder.Row(points[p], &row)) {
      result.message = builder.message();
      return result;
    }
    double total = 0;
    for (const auto& [target, probability] : row.next) {
      total += probability;
      if (index[target] == kNone) {
        index[target] = static_cast<std::uint32_t>(points.size());
        points.push_back(target);
      }
    }
    if (std::isfinite(row.sojourn) && std::abs(total - 1) > kRowSumTolerance) {
      result.message =
          "the firings from state " + std::to_string(points[p] + 1) +
          " lead on with probability " + ShortestText(total) + " in all, not 1";
      return result;
    }
    rows.push_back(std::move(row));
  }
  result.series_terms = builder.series_terms();
  const std::size_t m = points.size();
  result.embedded_states = m;

  // The embedded chain, with its kernel as rates: a continuous-time chain
  // with these rates has the same stationary vectors and closed classes.
  // `order` lists the points in the chain's numbering; its first is where
  // the long run is seen from.
  auto build = [&](const std::vector<std::uint32_t>& order) {
    std::vector<std::uint32_t> position(m);
    for (std::size_t q = 0; q < m; ++q) position[order[q]] = q;
    StateSpace space;
    space.num_states = m;
    space.self_rate.assign(m, 0.0);
    space.first.push_back(0);
    for (std::size_t q = 0; q < m; ++q) {
      std::vector<std::pair<std::uint32_t, double>> next;
      for (const auto& [target, probability] : rows[order[q]].next) {
        next.emplace_back(position[index[target]], probability);
      }
      Merge(&next);
      for (const auto& [target, probability] : next) {
        if (target == q) {
          space.self_rate[q] = probability;
          ++space.num_self_loops;
        } else {
          space.target.push_back(target);
          space.rate.push_back(probability);
        }
      }
      space.first.push_back(space.target.size());
    }
    return space;
  };
  // Per point: what one interval from it earns of each variable, and its
  // length, so that a variable's long-run value in a closed class is the
  // ratio of their means under nu. A point never left earns its state's
  // rate for ever: its ratio is that rate.
  const std::size_t earned_variables =
      options.earning != nullptr ? options.earning->size() : 0;
  std::vector<std::vector<double>> interval_reward(earned_variables,
                                                   std::vector<double>(m, 0.0));
  // The sum of the sizes of its terms, which bounds how far rounding moves
  // an interval's earnings whatever their signs. A branch's impulses add at
  // most the largest amount: an interval ends in at most one firing.
  std::vector<std::vector<double>> interval_size(earned_variables,
                                                 std::vector<double>(m, 0.0));
  std::vector<double> largest_amount(earned_variables, 0.0);
  for (const DeterministicChain::Impulse& impulse : chain.impulses) {
    if (impulse.variable < earned_variables) {
      double& largest = largest_amount[impulse.variable];
      largest = std::max(largest, std::abs(impulse.amount));
    }
  }
  std::vector<double> interval_length(m, 1.0);
  for (std::size_t p = 0; p < m && earned_variables > 0; ++p) {
    const KernelRow& row = rows[p];
    for (std::size_t v = 0; v < earned_variables; ++v) {
      const std::vector<double>& earning = (*options.earning)[v];
      if (std::isinf(row.sojourn)) {
        interval_reward[v][p] = earning[points[p]];
        interval_size[v][p] = std::abs(earning[points[p]]);
        continue;
      }
      CompensatedSum sum;
      double size = 0;
      for (const auto& [state, time] : row.time) {
        sum.Add(time * earning[state]);
        size += std::abs(time * earning[state]);
      }
      for (const auto& [state, probability] : row.fired) {
        sum.Add(probability * (*options.impulse)[v][state]);
        size += std::abs(probability * (*options.impulse)[v][state]);
      }
      if (v < row.earned.size()) {
        sum.Add(row.earned[v]);
        size += largest_amount[v];
      }
      interval_reward[v][p] = sum.Value();
      interval_size[v][p] = size;
    }
    if (std::isfinite(row.sojourn)) interval_length[p] = row.sojourn;
  }
  std::vector<std::vector<double>> ordered_reward;
  std::vector<double> ordered_length;
  auto solve = [&](const StateSpace& space,
                   const std::vector<std::uint32_t>& order) {
    SolveOptions solve_options = options.solve;
    if (earned_variables > 0) {
      ordered_reward.assign(earned_variables, std::vector<double>(m));
      ordered_length.resize(m);
      for (std::size_t q = 0; q < m; ++q) {
        for (std::size_t v = 0; v < earned_variables; ++v) {
          ordered_reward[v][q] = interval_reward[v][order[q]];
        }
        ordered_length[q] = interval_length[order[q]];
      }
      solve_options.rewards = &ordered_reward;
      solve_options.reward_weights = &ordered_length;
    }
    return SolveLongRun(space, solve_options);
  };
  std::vector<std::uint32_t> order(m);
  for (std::size_t q = 0; q < m; ++q) order[q] = static_cast<std::uint32_t>(q);
  StateSpace embedded = build(order);
  result.embedded = solve(embedded, order);
  if (!result.embedded.ok) {
    result.message = "the embedded chain: " + result.embedded.message;
    return result;
  }
  // An irreducible chain has the same stationary vector seen from any
  // state, and its bound is tighter seen from a likely one than from a
  // rare state 1.
  constexpr double kRetryBound = 1e-10;
  if (result.embedded.irreducible && result.embedded.pi_error > kRetryBound) {
    const std::vector<double>& first = result.embedded.pi;
    const auto likely = static_cast<std::uint32_t>(
        std::max_element(first.begin(), first.end()) - first.begin());
    if (likely != 0) {
      std::vector<std::uint32_t> swapped = order;
      std::swap(swapped[0], swapped[likely]);
      StateSpace other = build(swapped);
      StationaryResult retry = solve(other, swapped);
      if (retry.ok && retry.irreducible &&
          retry.pi_error < result.embedded.pi_error) {
        std::vector<double> nu(m);
        for (std::size_t q = 0; q < m; ++q) nu[swapped[q]] = retry.pi[q];
        retry.pi = std::move(nu);
        for (BottomClass& bottom : retry.bottoms) {
          bottom.first_state = swapped[bottom.first_state];
        }
        result.embedded = std::move(retry);
      }
    }
  }
  for (BottomClass& bottom : result.embedded.bottoms) {
    bottom.first_state = points[bottom.first_state];
  }

  // Per closed class c of probability p_c: time averages nu_i C_i / T_c,
  // with T_c = sum nu_i sojourn_i / p_c its mean cycle.
  const std::vector<double>& nu = result.embedded.pi;
  const Components components = StronglyConnectedComponents(embedded);
  std::vector<double> mass(components.count, 0.0);
  std::vector<double> cycle(components.count, 0.0);
  std::vector<bool> absorbing(components.count, false);
  for (std::size_t p = 0; p < m; ++p) {
    if (nu[p] == 0) continue;
    const std::uint32_t c = components.id[p];
    mass[c] += nu[p];
    if (std::isinf(rows[p].sojourn)) {
      absorbing[c] = true;
    } else {
      cycle[c] += nu[p] * rows[p].sojourn;
    }
  }
  result.pi.assign(num_states, 0.0);
  result.firing_rate.assign(num_states, 0.0);
  const std::size_t variables = chain.impulse_names.size();
  result.impulse_rate.assign(variables, 0.0);
  double shortest_cycle = kInfinity;
  double longest_sojourn = 0;
  double longest_truncation = 0;
  double most_fired = 0;
  double total_firing = 0;
  for (std::size_t c = 0; c < components.count; ++c) {
    if (mass[c] > 0 && !absorbing[c]) {
      if (!(cycle[c] > 0) || !std::isfinite(cycle[c])) {
        std::size_t member = 0;
        while (components.id[member] != c) ++member;
        result.message = "the closed class of the embedded chain with state " +
                         std::to_string(points[member] + 1) +
                         " has a mean cycle of " +
                         ShortestText(cycle[c] / mass[c]) +
                         " time units; its time averages are not defined";
        return result;
      }
      shortest_cycle = std::min(shortest_cycle, cycle[c] / mass[c]);
    }
  }
  for (std::size_t p = 0; p < m; ++p) {
    const KernelRow& row = rows[p];
    if (std::isfinite(row.sojourn)) {
      longest_sojourn = std::max(longest_sojourn, row.sojourn);
    }
    longest_truncation = std::max(longest_truncation, row.time_truncation);
    double fired = 0;
    for (const auto& entry : row.fired) fired += entry.second;
    most_fired = std::max(most_fired, fired);
    if (nu[p] == 0) continue;
    const std::uint32_t c = components.id[p];
    if (absorbing[c]) {
      // A state never left: the class is that state alone.
      result.pi[points[p]] += nu[p];
      continue;
    }
    const double scale = nu[p] * mass[c] / cycle[c];
    for (const auto& [state, time] : row.time) result.pi[state] += scale * time;
    for (const auto& [state, probability] : row.fired) {
      const double rate = nu[p] * probability * mass[c] / cycle[c];
      result.firing_rate[state] += rate;
      total_firing += rate;
    }
    for (std::size_t v = 0; v < row.earned.size(); ++v) {
      result.impulse_rate[v] += scale * row.earned[v];
    }
  }

  // The states where the time averages, computed or exact, can be positive:
  // those the points of the closed classes spend time in. The rest (states
  // passed only before the chain settles, or in no time at all) have 0
  // either way.
  std::vector<bool> closed(components.count, true);
  for (std::size_t p = 0; p < m; ++p) {
    for (std::size_t e = embedded.first[p]; e < embedded.first[p + 1]; ++e) {
      if (components.id[embedded.target[e]] != components.id[p]) {
        closed[components.id[p]] = false;
      }
    }
  }
  result.support.assign(num_states, false);
  for (std::size_t p = 0; p < m; ++p) {
    const std::uint32_t c = components.id[p];
    if (nu[p] == 0 && !closed[c]) continue;
    if (std::isinf(rows[p].sojourn)) result.support[points[p]] = true;
    for (const auto& [state, time] : rows[p].time) {
      if (time > 0) result.support[state] = true;
    }
  }

  // First order: an error e in nu moves nu C / T by at most
  // e (1 + 2 longest sojourn / shortest cycle); the times left out by the
  // series add their share of the cycle.
  const double nu_error = result.embedded.pi_error;
  const double cycle_ratio =
      std::isinf(shortest_cycle) ? 0 : longest_sojourn / shortest_cycle;
  const double truncation =
      std::isinf(shortest_cycle) ? 0 : 2 * longest_truncation / shortest_cycle;
  result.pi_error = nu_error * (1 + 2 * cycle_ratio) + truncation;
  result.firing_error =
      std::isinf(shortest_cycle)
          ? 0
          : (nu_error * (most_fired + total_firing * longest_sojourn) +
             options.epsilon + total_firing * longest_truncation) /
                shortest_cycle;
  // The firing error bounds the error of the rates of all branches
  // together; each branch earns at most the largest impulse.
  result.impulse_error.assign(variables, 0.0);
  for (const DeterministicChain::Impulse& impulse : chain.impulses) {
    double& error = result.impulse_error[impulse.variable];
    error = std::max(error, result.firing_error * std::abs(impulse.amount));
  }
  // The embedded chain's ratio bounds, plus what the series left out: an
  // interval's length and earnings move by at most its truncated time
  // times the largest earning rate, and its firings by epsilon per row,
  // so each class's ratio moves by at most (du + |v| dd) / (cycle - dd).
  const StationaryResult& embedded_result = result.embedded;
  if (earned_variables > 0 &&
      embedded_result.reward_error.size() == earned_variables &&
      embedded_result.reward_value.size() == earned_variables) {
    // The kernel, the intervals' earnings and lengths are computed in
    // doubles: each within a factor 1 +- eta of its exact value, eta from
    // the Poisson terms (exp of a sum of terms up to the mean and the
    // series length times their logarithm), the series' steps (each a sum
    // of a row) and the rows' own sums. A factor 1 +- eta on every rate
    // moves each ratio of nu, a sum over spanning trees of products of m -
    // 1 rates, and each class's probability by a factor within ((1 + eta) /
    // (1 - eta))^(m - 1); the ratio of a class then moves by at most
    // e (sum nu |u| + |v| sum nu d) / ((1 - e) sum nu d), and with its
    // probability at most 3 e sum nu |u| / ((1 - e) sum nu d), |u| taken as
    // the sizes of u's terms, which may cancel.
    constexpr double kUnit = std::numeric_limits<double>::epsilon() / 2;
    std::size_t widest = 0;
    for (std::size_t s = 0; s < num_states; ++s) {
      widest = std::max(widest, chain.first_rate[s + 1] - chain.first_rate[s]);
    }
    for (const KernelRow& row : rows) {
      widest = std::max(
          {widest, row.next.size(), row.time.size(), row.fired.size()});
    }
    const double terms = static_cast<double>(result.series_terms);
    const double mean = builder.largest_mean();
    const double rows_wide = static_cast<double>(widest);
    const double eta =
        kUnit *
        (4 * (mean + terms) * (2 + std::log(std::max({mean, terms, 1.0}))) +
         terms * (rows_wide + 3) + 2 * rows_wide + 16);
    const double nu_shift =
        std::expm1(2 * static_cast<double>(m) * eta / (1 - eta));
    const double shift = (nu_shift + eta) / (1 - nu_shift - eta);
    for (std::size_t v = 0; v < earned_variables; ++v) {
      const double value = embedded_result.reward_value[v];
      double bound = embedded_result.reward_error[v];
      // Per class: sum nu |u| (the terms' sizes) and sum nu d.
      std::vector<double> earned(components.count, 0.0);
      std::vector<double> length(components.count, 0.0);
      for (std::size_t p = 0; p < m; ++p) {
        const std::uint32_t c = components.id[p];
        earned[c] += nu[p] * interval_size[v][p];
        length[c] += nu[p] * interval_length[p];
      }
      double kernel = 0;
      for (std::size_t c = 0; c < components.count; ++c) {
        if (!(mass[c] > 0)) continue;
        const double ratio = earned[c] / length[c];
        kernel += 3 * mass[c] * shift * ratio;
      }
      bound += shift < 0.5 ? kernel : kInfinity;
      if (!std::isinf(shortest_cycle)) {
        double largest_earning = 0;
        for (double e : (*options.earning)[v]) {
          largest_earning = std::max(largest_earning, std::abs(e));
        }
        double largest_impulse = largest_amount[v];
        for (double e : (*options.impulse)[v]) {
          largest_impulse = std::max(largest_impulse, std::abs(e));
        }
        const double du = longest_truncation * largest_earning +
                          options.epsilon * largest_impulse;
        const double room = shortest_cycle - longest_truncation;
        bound += room > 0 ? (du + std::abs(value) * longest_truncation) / room
                          : kInfinity;
      }
      result.reward_value.push_back(value);
      result.reward_error.push_back(std::isnan(bound) ? kInfinity : bound);
    }
  }
  result.ok = true;
  return result;
}
