#ifndef GEN_TESTS_SOLVE_CHAINBUILDER_H_
#define GEN_TESTS_SOLVE_CHAINBUILDER_H_

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "solve/ChainFiles.h"

// Small chains for the solver's tests, built in memory.

struct Rate {
  std::uint32_t from;  // 1-based, as in the files
  std::uint32_t to;
  double rate;
};

// The chain with these transitions; they may come in any order, but a pair
// must not repeat.
inline StateSpace Chain(std::uint32_t n, const std::vector<Rate>& rates) {
  StateSpace space;
  space.file_type = 1;
  space.num_states = n;
  space.first.clear();
  space.first.push_back(0);
  space.self_rate.assign(n, 0.0);
  for (std::uint32_t s = 1; s <= n; ++s) {
    for (std::uint32_t t = 1; t <= n; ++t) {
      for (const Rate& r : rates) {
        if (r.from != s || r.to != t) continue;
        if (s == t) {
          space.self_rate[s - 1] = r.rate;
        } else {
          space.target.push_back(t - 1);
          space.rate.push_back(r.rate);
        }
      }
    }
    space.first.push_back(space.target.size());
  }
  return space;
}

// A chain of n states, too many for Chain: state s (0-based) leads to each
// state of targets(s), a std::vector, at rate(s, t); s itself and repeats
// are left out, and the targets are taken in increasing order.
template <class Targets, class RateOf>
StateSpace LargeChain(std::uint32_t n, Targets targets, RateOf rate) {
  StateSpace space;
  space.file_type = 1;
  space.num_states = n;
  space.first.clear();
  space.first.push_back(0);
  for (std::uint32_t s = 0; s < n; ++s) {
    std::vector<std::uint32_t> to = targets(s);
    std::sort(to.begin(), to.end());
    to.erase(std::unique(to.begin(), to.end()), to.end());
    for (std::uint32_t t : to) {
      if (t == s) continue;
      space.target.push_back(t);
      space.rate.push_back(rate(s, t));
    }
    space.first.push_back(space.target.size());
  }
  return space;
}

// Two independent queues of `levels` levels each, served at rate 1, with
// arrivals at `birth_a` and `birth_b`: state a * levels + b holds a in the
// first and b in the second. Their distribution is a product of truncated
// geometric ones.
inline StateSpace TwoQueues(std::uint32_t levels, double birth_a,
                            double birth_b) {
  return LargeChain(
      levels * levels,
      [levels](std::uint32_t s) {
        const std::uint32_t a = s / levels;
        const std::uint32_t b = s % levels;
        std::vector<std::uint32_t> to;
        if (a > 0) to.push_back(s - levels);
        if (b > 0) to.push_back(s - 1);
        if (b + 1 < levels) to.push_back(s + 1);
        if (a + 1 < levels) to.push_back(s + levels);
        return to;
      },
      [&](std::uint32_t s, std::uint32_t t) {
        if (t < s) return 1.0;
        return t == s + 1 ? birth_b : birth_a;
      });
}

// An irreducible random chain of n states: a ring through all of them plus
// random extra transitions, with rates spread over `decades` orders of
// magnitude.
inline StateSpace RandomChain(std::uint32_t n, unsigned seed, double decades) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> exponent(-decades / 2, decades / 2);
  std::uniform_int_distribution<std::uint32_t> state(1, n);
  std::vector<std::vector<bool>> used(n + 1, std::vector<bool>(n + 1));
  std::vector<Rate> rates;
  auto add = [&](std::uint32_t from, std::uint32_t to) {
    if (from == to || used[from][to]) return;
    used[from][to] = true;
    rates.push_back({from, to, std::pow(10.0, exponent(random))});
  };
  for (std::uint32_t s = 1; s <= n; ++s) add(s, s % n + 1);
  for (std::uint32_t k = 0; k < 2 * n; ++k) add(state(random), state(random));
  return Chain(n, rates);
}

#endif  // GEN_TESTS_SOLVE_CHAINBUILDER_H_
