#include "solve/Components.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/solve/ChainBuilder.h"

namespace {

// A ring through n states in the order 1, n, 2, n - 1, 3, ...: irreducible,
// but each sweep follows it only a step or two.
StateSpace ZigzagRing(std::uint32_t n) {
  std::vector<std::uint32_t> order;
  for (std::uint32_t low = 1, high = n; low <= high; ++low, --high) {
    order.push_back(low);
    if (low != high) order.push_back(high);
  }
  std::vector<Rate> rates;
  for (std::size_t k = 0; k < order.size(); ++k) {
    rates.push_back({order[k], order[(k + 1) % order.size()], 1.0});
  }
  return Chain(n, rates);
}

TEST(ComponentsTest, SweepsDecideOnlyWhatTheySee) {
  struct Case {
    const char* name;
    StateSpace space;
    bool sweeps;        // SweepsShowIrreducible
    std::size_t count;  // components
    std::size_t bottoms;
  };
  const std::vector<Case> cases = {
      {"ring", Chain(4, {{1, 2, 1}, {2, 3, 1}, {3, 4, 1}, {4, 1, 1}}), true, 1,
       1},
      {"ring backwards", Chain(4, {{1, 4, 1}, {4, 3, 1}, {3, 2, 1}, {2, 1, 1}}),
       true, 1, 1},
      {"zigzag ring", ZigzagRing(60), false, 1, 1},
      {"closed pair after a transient state",
       Chain(3, {{1, 2, 1}, {2, 3, 1}, {3, 2, 1}}), false, 2, 1},
      {"two absorbing states", Chain(3, {{1, 2, 1}, {1, 3, 1}}), false, 3, 2},
      {"a state nobody reaches", Chain(3, {{1, 2, 1}, {2, 1, 1}, {3, 1, 1}}),
       false, 2, 1},
      {"one state", Chain(1, {}), true, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SweepsShowIrreducible(c.space), c.sweeps);
    const Components components = StronglyConnectedComponents(c.space);
    EXPECT_EQ(components.count, c.count);
    std::size_t bottoms = 0;
    for (bool bottom : components.bottom) bottoms += bottom ? 1 : 0;
    EXPECT_EQ(bottoms, c.bottoms);
    // Every transition leads to the same or a smaller id.
    for (std::size_t s = 0; s < c.space.num_states; ++s) {
      for (std::size_t e = c.space.first[s]; e < c.space.first[s + 1]; ++e) {
        EXPECT_LE(components.id[c.space.target[e]], components.id[s]);
      }
    }
  }
}

TEST(ComponentsTest, RandomIrreducibleChainsAreOneComponent) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    const StateSpace space = RandomChain(50 + seed, seed, 4);
    const Components components = StronglyConnectedComponents(space);
    EXPECT_EQ(components.count, 1u);
    EXPECT_EQ(components.id, std::vector<std::uint32_t>(space.num_states, 0));
  }
}

}  // namespace
