#include "solve/Components.h"

#include <algorithm>
#include <limits>

Components StronglyConnectedComponents(const StateSpace& space) {
  // Tarjan's algorithm with an explicit stack of (state, next edge) frames.
  constexpr std::uint32_t kUnvisited =
      std::numeric_limits<std::uint32_t>::max();
  const std::size_t n = space.num_states;
  Components result;
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
