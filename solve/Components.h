#ifndef GEN_SOLVE_COMPONENTS_H_
#define GEN_SOLVE_COMPONENTS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "solve/ChainFiles.h"

// The strongly connected components of a chain's transition graph. Ids are
// handed out in the order in which components complete, so every transition
// leads to a component with the same or a smaller id.
struct Components {
  std::vector<std::uint32_t> id;  // per state
  std::size_t count = 0;
  std::vector<bool> bottom;  // per component: no transition leaves it
};

// Iterative, so chains of millions of states cannot overflow the call stack.
Components StronglyConnectedComponents(const StateSpace& space);

// True when a few sweeps over the transitions show that state 0 reaches
// every state and every state reaches state 0: then the whole chain is one
// component. False when they do not settle it (the chain may still be
// irreducible). A sweep reads the transitions in order against one bit per
// state, where Tarjan's search jumps across the chain; on chains numbered
// breadth first from state 0, as generated ones are, a few sweeps decide.
bool SweepsShowIrreducible(const StateSpace& space);

// Per state: whether it can be reached from `start` (itself included).
std::vector<bool> ReachableFrom(const StateSpace& space, std::uint32_t start);

#endif  // GEN_SOLVE_COMPONENTS_H_
