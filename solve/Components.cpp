#include "solve/Components.h"

#include <algorithm>
#include <limits>

Components StronglyConnectedComponents(const StateSpace& space) {
  // Tarjan's algorithm with an explicit stack of (state, next edge) frames.
  constexpr std::uint32_t kUnvisited =
      std::numeric_limits<std::uint32_t>::max();
  const std::size_t n = space.num_states;
  Components result;
  if (SweepsShowIrreducible(space)) {
    result.id.assign(n, 0);
    result.count = 1;
    result.bottom.assign(1, true);
    return result;
  }
  result.id.assign(n, kUnvisited);
  std::vector<std::uint32_t> index(n, kUnvisited);
  std::vector<std::uint32_t> low(n, 0);
  std::vector<bool> on_stack(n, false);
  std::vector<std::uint32_t> stack;
  struct Frame {
    std::uint32_t state;
    std::size_t edge;
  };
  std::vector<Frame> frames;
  std::uint32_t counter = 0;

  auto visit = [&](std::uint32_t v) {
    index[v] = low[v] = counter++;
    stack.push_back(v);
    on_stack[v] = true;
    frames.push_back({v, space.first[v]});
  };

  for (std::uint32_t root = 0; root < n; ++root) {
    if (index[root] != kUnvisited) continue;
    visit(root);
    while (!frames.empty()) {
      const std::uint32_t v = frames.back().state;
      const std::size_t e = frames.back().edge;
      if (e < space.first[v + 1]) {
        ++frames.back().edge;
        const std::uint32_t w = space.target[e];
        if (index[w] == kUnvisited) {
          visit(w);
        } else if (on_stack[w]) {
          low[v] = std::min(low[v], index[w]);
        }
        continue;
      }
      if (low[v] == index[v]) {
        const auto component = static_cast<std::uint32_t>(result.count++);
        std::uint32_t w;
        do {
          w = stack.back();
          stack.pop_back();
          on_stack[w] = false;
          result.id[w] = component;
        } while (w != v);
      }
      frames.pop_back();
      if (!frames.empty()) {
        const std::uint32_t u = frames.back().state;
        low[u] = std::min(low[u], low[v]);
      }
    }
  }

  result.bottom.assign(result.count, true);
  for (std::size_t s = 0; s < n; ++s) {
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      if (result.id[space.target[e]] != result.id[s]) {
        result.bottom[result.id[s]] = false;
      }
    }
  }
  return result;
}

std::vector<bool> ReachableFrom(const StateSpace& space, std::uint32_t start) {
  std::vector<bool> reached(space.num_states, false);
  std::vector<std::uint32_t> pending = {start};
  reached[start] = true;
  while (!pending.empty()) {
    const std::uint32_t s = pending.back();
    pending.pop_back();
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      const std::uint32_t t = space.target[e];
      if (!reached[t]) {
        reached[t] = true;
        pending.push_back(t);
      }
    }
  }
  return reached;
}

bool SweepsShowIrreducible(const StateSpace& space) {
  constexpr int kMaxSweeps = 8;
  const std::size_t n = space.num_states;
  if (n == 0) return false;
  // Sweeps go up and down in turn; each marks what it can from the marks
  // so far, and the first sweep that marks nothing new ends the search.
  auto settle = [&](auto&& visit) {
    std::size_t count = 1;
    for (int sweep = 0; sweep < kMaxSweeps && count < n; ++sweep) {
      const std::size_t before = count;
      if (sweep % 2 == 0) {
        for (std::size_t s = 0; s < n; ++s) visit(s, &count);
      } else {
        for (std::size_t s = n; s-- > 0;) visit(s, &count);
      }
      if (count == before) break;
    }
    return count == n;
  };
  // Forward: what state 0 reaches.
  std::vector<bool> reached(n, false);
  reached[0] = true;
  const bool all_reached = settle([&](std::size_t s, std::size_t* count) {
    if (!reached[s]) return;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      if (!reached[space.target[e]]) {
        reached[space.target[e]] = true;
        ++*count;
      }
    }
  });
  if (!all_reached) return false;
  // Backward: what reaches state 0.
  std::vector<bool>& reaching = reached;
  reaching.assign(n, false);
  reaching[0] = true;
  return settle([&](std::size_t s, std::size_t* count) {
    if (reaching[s]) return;
    for (std::size_t e = space.first[s]; e < space.first[s + 1]; ++e) {
      if (reaching[space.target[e]]) {
        reaching[s] = true;
        ++*count;
        return;
      }
    }
  });
}
